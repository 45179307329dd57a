#include "system/x11/watcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace corvex::x11 {
namespace {

// Blocks until fd or stopFd is readable; false when asked to stop.
bool WaitReadable(int fd, int stopFd) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (fds[1].revents) return false;
        if (fds[0].revents) return true;
    }
}

}  // namespace

TConnectionWatcher::~TConnectionWatcher() { Stop(); }

void TConnectionWatcher::Start(int fd) {
    if (_thread.joinable()) return;
    _fd = fd;
    _resumeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    _stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    _readable.store(true, std::memory_order_release);
    if (_resumeFd < 0 || _stopFd < 0) return;  // no watcher: the flag stays set, every poll reads
    // The thread starts waiting for the first Consumed(), since the flag is set.
    _thread = std::thread([this] { Run(); });
}

void TConnectionWatcher::Run() {
    for (;;) {
        // Wait until the main thread has read what was flagged.
        if (!WaitReadable(_resumeFd, _stopFd)) return;
        uint64_t count = 0;
        (void)!read(_resumeFd, &count, sizeof count);
        if (!WaitReadable(_fd, _stopFd)) return;
        _readable.store(true, std::memory_order_release);
    }
}

void TConnectionWatcher::Consumed() {
    if (!_thread.joinable()) return;
    _readable.store(false, std::memory_order_release);
    const uint64_t one = 1;
    (void)!write(_resumeFd, &one, sizeof one);
}

void TConnectionWatcher::Stop() {
    if (_thread.joinable()) {
        const uint64_t one = 1;
        (void)!write(_stopFd, &one, sizeof one);
        _thread.join();
    }
    if (_resumeFd >= 0) close(_resumeFd);
    if (_stopFd >= 0) close(_stopFd);
    _resumeFd = _stopFd = -1;
}

}  // namespace corvex::x11
