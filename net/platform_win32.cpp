// Winsock 2. The only file of the module that includes the system's socket headers on Windows.
#include "net/platform.h"

#include <cstring>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "net/sockaddr.h"

namespace corvex::netos {

namespace {

thread_local int32_t lastError = 0;

int32_t Fail() {
    lastError = WSAGetLastError();
    return IO_ERROR;
}

SOCKET Sock(THandle h) { return static_cast<SOCKET>(h); }

int32_t Result(int n) {
    if (n >= 0) return n;
    const int e = WSAGetLastError();
    if (e == WSAEWOULDBLOCK || e == WSAEINTR) return IO_WOULDBLOCK;
    lastError = e;
    return IO_ERROR;
}

// The system's text for a Winsock code in UTF-8, without the trailing full stop and line break.
std::string SystemText(int32_t code) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0,
                                   nullptr);
    std::string text;
    if (n && buffer) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
        text.resize(static_cast<size_t>(bytes));
        WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), text.data(), bytes, nullptr, nullptr);
    }
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

}  // namespace

bool Startup() {
    // Once per process; never cleaned up, as sockets may live until exit.
    static const bool ok = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ok;
}

bool Resolve(const std::string& host, int32_t port, bool udp, bool passive, std::vector<TNetAddress>& out,
             std::string& err) {
    out.clear();
    if (!Startup()) {
        err = "the socket layer (Winsock 2) is unavailable";
        return false;
    }
    if (const int rc = ResolveAddresses(host, port, udp, passive, out); rc != 0) {
        err = ErrorText(rc);
        return false;
    }
    if (out.empty()) err = "no address";
    return !out.empty();
}

THandle Open(const TNetAddress& family, bool udp) {
    Startup();
    // WSA_FLAG_NO_HANDLE_INHERIT: like SOCK_CLOEXEC, child processes do not get the socket.
    const SOCKET s = WSASocketW(family.family == 6 ? AF_INET6 : AF_INET, udp ? SOCK_DGRAM : SOCK_STREAM,
                                udp ? IPPROTO_UDP : IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
        lastError = WSAGetLastError();
        return NO_HANDLE;
    }
    return static_cast<THandle>(s);
}

void Close(THandle h) {
    if (h != NO_HANDLE) closesocket(Sock(h));
}

bool SetNonBlocking(THandle h, bool on) {
    u_long mode = on ? 1 : 0;
    return ioctlsocket(Sock(h), FIONBIO, &mode) == 0 || (Fail(), false);
}

// SO_REUSEADDR on Windows lets another socket take a port in use; a listening socket there has no
// TIME_WAIT wait to get around, so nothing is set.
void SetReuseAddress(THandle) {}

void SetDualStack(THandle h) {
    DWORD zero = 0;
    setsockopt(Sock(h), IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&zero), sizeof zero);
}

void SetNoDelay(THandle h) {
    BOOL one = TRUE;
    setsockopt(Sock(h), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

void SetBroadcast(THandle h) {
    BOOL one = TRUE;
    setsockopt(Sock(h), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&one), sizeof one);
}

int32_t Connect(THandle h, const TNetAddress& to) {
    sockaddr_storage s;
    const int len = ToSockaddr(to, s);
    if (connect(Sock(h), reinterpret_cast<sockaddr*>(&s), len) == 0) return CONNECT_DONE;
    const int e = WSAGetLastError();
    if (e == WSAEWOULDBLOCK || e == WSAEINPROGRESS || e == WSAEINTR) return CONNECT_PENDING;
    lastError = e;
    return IO_ERROR;
}

int32_t PendingError(THandle h) {
    int e = 0;
    int len = sizeof e;
    if (getsockopt(Sock(h), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&e), &len) != 0) e = WSAGetLastError();
    if (e) lastError = e;
    return e;
}

bool Bind(THandle h, const TNetAddress& at) {
    sockaddr_storage s;
    const int len = ToSockaddr(at, s);
    return bind(Sock(h), reinterpret_cast<sockaddr*>(&s), len) == 0 || (Fail(), false);
}

bool Listen(THandle h, int32_t backlog) { return listen(Sock(h), backlog) == 0 || (Fail(), false); }

THandle Accept(THandle h, TNetAddress& from) {
    sockaddr_storage s{};
    int len = sizeof s;
    const SOCKET a = accept(Sock(h), reinterpret_cast<sockaddr*>(&s), &len);
    if (a == INVALID_SOCKET) {
        lastError = WSAGetLastError();
        return NO_HANDLE;
    }
    FromSockaddr(reinterpret_cast<sockaddr*>(&s), from);
    return static_cast<THandle>(a);
}

int32_t Send(THandle h, const void* buf, int32_t count) {
    return Result(send(Sock(h), static_cast<const char*>(buf), count, 0));
}

int32_t Recv(THandle h, void* buf, int32_t count) { return Result(recv(Sock(h), static_cast<char*>(buf), count, 0)); }

int32_t Peek(THandle h) {
    // Winsock has no MSG_DONTWAIT: ask first whether a read would block.
    if (!(Wait(h, true, false, 0) & READY_READ)) return IO_WOULDBLOCK;
    char c;
    return Result(recv(Sock(h), &c, 1, MSG_PEEK));
}

int32_t SendTo(THandle h, const void* buf, int32_t count, const TNetAddress& to) {
    sockaddr_storage s;
    const int len = ToSockaddr(to, s);
    return Result(sendto(Sock(h), static_cast<const char*>(buf), count, 0, reinterpret_cast<sockaddr*>(&s), len));
}

int32_t RecvFrom(THandle h, void* buf, int32_t count, TNetAddress& from) {
    sockaddr_storage s{};
    int len = sizeof s;
    int n = recvfrom(Sock(h), static_cast<char*>(buf), count, 0, reinterpret_cast<sockaddr*>(&s), &len);
    // A datagram longer than the buffer arrives cut to its size, as on POSIX.
    if (n < 0 && WSAGetLastError() == WSAEMSGSIZE) n = count;
    const int32_t r = Result(n);
    if (r >= 0) FromSockaddr(reinterpret_cast<sockaddr*>(&s), from);
    return r;
}

int32_t Available(THandle h) {
    u_long n = 0;
    if (ioctlsocket(Sock(h), FIONREAD, &n) != 0) return 0;
    return static_cast<int32_t>(n);
}

int32_t Wait(THandle h, bool read, bool write, int32_t timeoutMs) {
    WSAPOLLFD p{};
    p.fd = Sock(h);
    p.events = static_cast<SHORT>((read ? POLLRDNORM : 0) | (write ? POLLWRNORM : 0));
    const int rc = WSAPoll(&p, 1, timeoutMs);
    if (rc <= 0) return 0;
    int32_t bits = 0;
    if (p.revents & (POLLRDNORM | POLLHUP)) bits |= READY_READ;
    if (p.revents & POLLWRNORM) bits |= READY_WRITE;
    if (p.revents & (POLLERR | POLLNVAL)) bits |= READY_ERROR;
    return bits;
}

bool LocalAddress(THandle h, TNetAddress& out) {
    sockaddr_storage s{};
    int len = sizeof s;
    if (getsockname(Sock(h), reinterpret_cast<sockaddr*>(&s), &len) != 0) return false;
    return FromSockaddr(reinterpret_cast<sockaddr*>(&s), out);
}

bool PeerAddress(THandle h, TNetAddress& out) {
    sockaddr_storage s{};
    int len = sizeof s;
    if (getpeername(Sock(h), reinterpret_cast<sockaddr*>(&s), &len) != 0) return false;
    return FromSockaddr(reinterpret_cast<sockaddr*>(&s), out);
}

int32_t LastError() { return lastError; }

std::string ErrorText(int32_t code) {
    // The short POSIX wording for the codes callers most often meet, so that messages read alike
    // on both systems; the system's own text for the rest.
    switch (code) {
    case WSAECONNREFUSED: return "Connection refused";
    case WSAETIMEDOUT: return "Connection timed out";
    case WSAEHOSTUNREACH: return "No route to host";
    case WSAENETUNREACH: return "Network is unreachable";
    case WSAEADDRINUSE: return "Address already in use";
    case WSAECONNRESET: return "Connection reset by peer";
    case WSAHOST_NOT_FOUND: return "Name or service not known";
    default: break;
    }
    std::string text = SystemText(code);
    return text.empty() ? "Winsock error " + std::to_string(code) : text;
}

int32_t TimedOutCode() { return WSAETIMEDOUT; }

std::string FormatHost(const TNetAddress& a) {
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(a.family == 6 ? AF_INET6 : AF_INET, a.bytes, text, sizeof text);
    return text;
}

}  // namespace corvex::netos
