// Posted calls wake the main thread through an eventfd.
#include <corvex/system/mainthread.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "system/mainthread_platform.h"

namespace corvex {
namespace {

int WakeFd() {
    static const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return fd;
}

void WriteWake(int fd) {
    if (fd < 0) return;
    const uint64_t one = 1;
    // EAGAIN means the counter is already non-zero: the main thread will wake anyway.
    while (write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

}  // namespace

void MainThreadQueueReady() { WakeFd(); }
void SignalPostedCall() { WriteWake(WakeFd()); }
void WakeMainThread() { WriteWake(WakeFd()); }
int MainThreadWakeFd() { return WakeFd(); }

void ClearMainThreadWake() {
    uint64_t count;
    if (WakeFd() < 0) return;
    while (read(WakeFd(), &count, sizeof count) < 0 && errno == EINTR) {
    }
}

void WaitMainThreadWake(int extraFd) {
    const int wakeFd = WakeFd();
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {extraFd, POLLIN, 0}};
    // Without an eventfd (the process ran out of descriptors) posts cannot wake us: look again
    // every millisecond rather than block for ever.
    poll(fds, extraFd >= 0 ? 2 : 1, wakeFd >= 0 ? -1 : 1);
}

}  // namespace corvex
