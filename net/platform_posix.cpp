// POSIX sockets. The only file of the module that includes the system's socket headers.
#include "net/platform.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/sockaddr.h"

namespace corvex::netos {

namespace {

thread_local int32_t lastError = 0;

int32_t Fail() {
    lastError = errno;
    return IO_ERROR;
}

int Fd(THandle h) { return static_cast<int>(h); }

}  // namespace

bool Startup() { return true; }

bool Resolve(const std::string& host, int32_t port, bool udp, bool passive, std::vector<TNetAddress>& out,
             std::string& err) {
    if (const int rc = ResolveAddresses(host, port, udp, passive, out); rc != 0) {
        err = rc == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(rc);
        return false;
    }
    if (out.empty()) err = "no address";
    return !out.empty();
}

THandle Open(const TNetAddress& family, bool udp) {
    const int fd = socket(family.family == 6 ? AF_INET6 : AF_INET,
                          (udp ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        lastError = errno;
        return NO_HANDLE;
    }
    return fd;
}

void Close(THandle h) {
    if (h != NO_HANDLE) close(Fd(h));
}

bool SetNonBlocking(THandle h, bool on) {
    const int flags = fcntl(Fd(h), F_GETFL, 0);
    if (flags < 0) return Fail(), false;
    return fcntl(Fd(h), F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0 || (Fail(), false);
}

void SetReuseAddress(THandle h) {
    int one = 1;
    setsockopt(Fd(h), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
}

void SetDualStack(THandle h) {
    int zero = 0;
    setsockopt(Fd(h), IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
}

void SetNoDelay(THandle h) {
    int one = 1;
    setsockopt(Fd(h), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void SetBroadcast(THandle h) {
    int one = 1;
    setsockopt(Fd(h), SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
}

int32_t Connect(THandle h, const TNetAddress& to) {
    sockaddr_storage s;
    const auto len = static_cast<socklen_t>(ToSockaddr(to, s));
    if (connect(Fd(h), reinterpret_cast<sockaddr*>(&s), len) == 0) return CONNECT_DONE;
    if (errno == EINPROGRESS || errno == EINTR) return CONNECT_PENDING;
    return Fail();
}

int32_t PendingError(THandle h) {
    int e = 0;
    socklen_t len = sizeof e;
    if (getsockopt(Fd(h), SOL_SOCKET, SO_ERROR, &e, &len) != 0) e = errno;
    if (e) lastError = e;
    return e;
}

bool Bind(THandle h, const TNetAddress& at) {
    sockaddr_storage s;
    const auto len = static_cast<socklen_t>(ToSockaddr(at, s));
    return bind(Fd(h), reinterpret_cast<sockaddr*>(&s), len) == 0 || (Fail(), false);
}

bool Listen(THandle h, int32_t backlog) { return listen(Fd(h), backlog) == 0 || (Fail(), false); }

THandle Accept(THandle h, TNetAddress& from) {
    sockaddr_storage s{};
    socklen_t len = sizeof s;
    const int fd = accept4(Fd(h), reinterpret_cast<sockaddr*>(&s), &len, SOCK_CLOEXEC);
    if (fd < 0) {
        lastError = errno;
        return NO_HANDLE;
    }
    FromSockaddr(reinterpret_cast<sockaddr*>(&s), from);
    return fd;
}

namespace {
int32_t Result(ssize_t n) {
    if (n >= 0) return static_cast<int32_t>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return IO_WOULDBLOCK;
    return Fail();
}
}  // namespace

int32_t Send(THandle h, const void* buf, int32_t count) {
    return Result(send(Fd(h), buf, static_cast<size_t>(count), MSG_NOSIGNAL));
}

int32_t Recv(THandle h, void* buf, int32_t count) { return Result(recv(Fd(h), buf, static_cast<size_t>(count), 0)); }

int32_t Peek(THandle h) {
    char c;
    return Result(recv(Fd(h), &c, 1, MSG_PEEK | MSG_DONTWAIT));
}

int32_t SendTo(THandle h, const void* buf, int32_t count, const TNetAddress& to) {
    sockaddr_storage s;
    const auto len = static_cast<socklen_t>(ToSockaddr(to, s));
    return Result(sendto(Fd(h), buf, static_cast<size_t>(count), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&s), len));
}

int32_t RecvFrom(THandle h, void* buf, int32_t count, TNetAddress& from) {
    sockaddr_storage s{};
    socklen_t len = sizeof s;
    const int32_t n = Result(recvfrom(Fd(h), buf, static_cast<size_t>(count), 0, reinterpret_cast<sockaddr*>(&s), &len));
    if (n >= 0) FromSockaddr(reinterpret_cast<sockaddr*>(&s), from);
    return n;
}

int32_t Available(THandle h) {
    int n = 0;
    if (ioctl(Fd(h), FIONREAD, &n) != 0) return 0;
    return n;
}

int32_t Wait(THandle h, bool read, bool write, int32_t timeoutMs) {
    pollfd p{Fd(h), static_cast<short>((read ? POLLIN : 0) | (write ? POLLOUT : 0)), 0};
    int rc;
    do {
        rc = poll(&p, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    if (rc <= 0) return 0;
    int32_t bits = 0;
    if (p.revents & (POLLIN | POLLHUP)) bits |= READY_READ;
    if (p.revents & POLLOUT) bits |= READY_WRITE;
    if (p.revents & (POLLERR | POLLNVAL)) bits |= READY_ERROR;
    return bits;
}

bool LocalAddress(THandle h, TNetAddress& out) {
    sockaddr_storage s{};
    socklen_t len = sizeof s;
    if (getsockname(Fd(h), reinterpret_cast<sockaddr*>(&s), &len) != 0) return false;
    return FromSockaddr(reinterpret_cast<sockaddr*>(&s), out);
}

bool PeerAddress(THandle h, TNetAddress& out) {
    sockaddr_storage s{};
    socklen_t len = sizeof s;
    if (getpeername(Fd(h), reinterpret_cast<sockaddr*>(&s), &len) != 0) return false;
    return FromSockaddr(reinterpret_cast<sockaddr*>(&s), out);
}

int32_t LastError() { return lastError; }

std::string ErrorText(int32_t code) { return code == ETIMEDOUT ? "Connection timed out" : std::strerror(code); }

int32_t TimedOutCode() { return ETIMEDOUT; }

std::string FormatHost(const TNetAddress& a) {
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(a.family == 6 ? AF_INET6 : AF_INET, a.bytes, text, sizeof text);
    return text;
}

}  // namespace corvex::netos
