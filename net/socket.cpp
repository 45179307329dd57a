// Sockets, addresses and the TCP stream on top of the platform calls.
#include <corvex/net/socket.h>

#include <algorithm>
#include <charconv>

#include "net/net_module.h"
#include "net/platform.h"

namespace corvex {

namespace {
thread_local std::string lastNetError;

std::string Where(std::string_view host, int32_t port) {
    std::string h(host.empty() ? "localhost" : host);
    return (h.find(':') != std::string::npos ? "[" + h + "]" : h) + ":" + std::to_string(port);
}
}  // namespace

void SetNetError(std::string text) { lastNetError = std::move(text); }
void ClearNetError() { lastNetError.clear(); }
TString NetError() { return FromUtf8(lastNetError); }

// ---- Addresses

std::string TNetAddress::Host() const { return family ? netos::FormatHost(*this) : std::string(); }

std::string TNetAddress::ToString() const {
    // Built by appending: g++ 12 at -O3 misreads "[" + string as an overlapping copy.
    std::string text = family == 6 ? "[" : "";
    text += Host();
    text += family == 6 ? "]:" : ":";
    text += std::to_string(port);
    return text;
}

bool TNetAddress::operator==(const TNetAddress& other) const {
    const int n = family == 6 ? 16 : 4;
    return family == other.family && port == other.port && std::equal(bytes, bytes + n, other.bytes);
}

std::vector<TNetAddress> ResolveHost(std::string_view host, int32_t port) {
    std::vector<TNetAddress> out;
    std::string err;
    if (!netos::Resolve(std::string(host), port, false, false, out, err))
        SetNetError("Cannot resolve " + Where(host, port) + ": " + err);
    return out;
}

bool SplitHostPort(std::string_view text, std::string& host, int32_t& port) {
    std::string_view portText;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') return false;
        host = std::string(text.substr(1, close - 1));
        portText = text.substr(close + 2);
    } else {
        const size_t colon = text.rfind(':');
        if (colon == std::string_view::npos) return false;
        host = std::string(text.substr(0, colon));
        portText = text.substr(colon + 1);
    }
    int32_t value = -1;
    const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
    if (ec != std::errc() || end != portText.data() + portText.size() || value < 0 || value > 65535) return false;
    port = value;
    return true;
}

// ---- Sockets

TSocket::TSocket(intptr_t handle, bool udp) : _handle(handle), _udp(udp) {}

TSocket::~TSocket() { Close(); }

bool TSocket::IsOpen() const { return _handle != netos::NO_HANDLE; }

void TSocket::Close() {
    netos::Close(_handle);
    _handle = netos::NO_HANDLE;
}

bool TSocket::SetBlocking(bool blocking) {
    if (!IsOpen() || !netos::SetNonBlocking(_handle, !blocking)) return false;
    _blocking = blocking;
    return true;
}

Ref<TSocket> TSocket::Connect(std::string_view host, int32_t port, int32_t timeoutMs) {
    netos::Startup();
    std::vector<TNetAddress> addresses;
    std::string err;
    if (port < 1 || port > 65535) {
        SetNetError("Cannot connect to " + Where(host, port) + ": invalid port");
        return nullptr;
    }
    if (!netos::Resolve(std::string(host), port, false, false, addresses, err)) {
        SetNetError("Cannot resolve " + Where(host, port) + ": " + err);
        return nullptr;
    }
    int32_t code = 0;
    for (const TNetAddress& a : addresses) {
        const netos::THandle h = netos::Open(a, false);
        if (h == netos::NO_HANDLE) {
            code = netos::LastError();
            continue;
        }
        netos::SetNonBlocking(h, true);
        int32_t rc = netos::Connect(h, a);
        if (rc == netos::CONNECT_PENDING) {
            const int32_t ready = netos::Wait(h, false, true, timeoutMs);
            if (!ready) {
                code = netos::TimedOutCode();
                rc = netos::IO_ERROR;
            } else {
                code = netos::PendingError(h);
                rc = code ? netos::IO_ERROR : netos::CONNECT_DONE;
            }
        } else if (rc == netos::IO_ERROR) {
            code = netos::LastError();
        }
        if (rc == netos::CONNECT_DONE) {
            netos::SetNonBlocking(h, false);
            netos::SetNoDelay(h);
            ClearNetError();
            return Ref<TSocket>(new TSocket(h, false));
        }
        netos::Close(h);
    }
    SetNetError("Cannot connect to " + Where(host, port) + ": " + netos::ErrorText(code));
    return nullptr;
}

Ref<TSocket> TSocket::Listen(std::string_view host, int32_t port, int32_t backlog) {
    netos::Startup();
    std::vector<TNetAddress> addresses;
    std::string err;
    if (port < 0 || port > 65535 || !netos::Resolve(std::string(host), port, false, true, addresses, err)) {
        SetNetError("Cannot listen on " + Where(host, port) + ": " + (err.empty() ? "invalid port" : err));
        return nullptr;
    }
    // The wildcard: prefer one dual-stack IPv6 socket, which takes IPv4 clients too.
    if (host.empty())
        std::stable_sort(addresses.begin(), addresses.end(),
                         [](const TNetAddress& a, const TNetAddress& b) { return a.family > b.family; });
    for (const TNetAddress& a : addresses) {
        const netos::THandle h = netos::Open(a, false);
        if (h == netos::NO_HANDLE) continue;
        netos::SetReuseAddress(h);
        if (a.family == 6 && host.empty()) netos::SetDualStack(h);
        if (netos::Bind(h, a) && netos::Listen(h, backlog)) {
            Ref<TSocket> s(new TSocket(h, false));
            s->_listening = true;
            ClearNetError();
            return s;
        }
        const int32_t code = netos::LastError();
        netos::Close(h);
        SetNetError("Cannot listen on " + Where(host, port) + ": " + netos::ErrorText(code));
    }
    return nullptr;
}

Ref<TSocket> TSocket::CreateUdp(std::string_view host, int32_t port) {
    netos::Startup();
    std::vector<TNetAddress> addresses;
    std::string err;
    if (port < 0 || port > 65535 || !netos::Resolve(std::string(host), port, true, true, addresses, err)) {
        SetNetError("Cannot bind " + Where(host, port) + ": " + (err.empty() ? "invalid port" : err));
        return nullptr;
    }
    if (host.empty())
        std::stable_sort(addresses.begin(), addresses.end(),
                         [](const TNetAddress& a, const TNetAddress& b) { return a.family > b.family; });
    for (const TNetAddress& a : addresses) {
        const netos::THandle h = netos::Open(a, true);
        if (h == netos::NO_HANDLE) continue;
        if (a.family == 6 && host.empty()) netos::SetDualStack(h);
        if (netos::Bind(h, a)) {
            ClearNetError();
            return Ref<TSocket>(new TSocket(h, true));
        }
        const int32_t code = netos::LastError();
        netos::Close(h);
        SetNetError("Cannot bind " + Where(host, port) + ": " + netos::ErrorText(code));
    }
    return nullptr;
}

TNetAddress TSocket::LocalAddress() const {
    TNetAddress a;
    if (IsOpen()) netos::LocalAddress(_handle, a);
    return a;
}

TNetAddress TSocket::RemoteAddress() const {
    TNetAddress a;
    if (IsOpen() && !_udp && !_listening) netos::PeerAddress(_handle, a);
    return a;
}

Ref<TSocket> TSocket::Accept() {
    if (!IsOpen() || !_listening) return nullptr;
    TNetAddress from;
    const netos::THandle h = netos::Accept(_handle, from);
    if (h == netos::NO_HANDLE) return nullptr;
    netos::SetNonBlocking(h, false);
    netos::SetNoDelay(h);
    return Ref<TSocket>(new TSocket(h, false));
}

namespace {
int32_t Outcome(int32_t n, const TSocket& s, const char* what) {
    if (n == netos::IO_ERROR) {
        SetNetError(std::string(what) + " " + s.RemoteAddress().ToString() + " failed: " +
                    netos::ErrorText(netos::LastError()));
        return SOCKET_FAILED;
    }
    return n == netos::IO_WOULDBLOCK ? SOCKET_WOULDBLOCK : n;
}
}  // namespace

int32_t TSocket::Send(const void* buf, int32_t count) {
    if (!IsOpen() || count < 0) return SOCKET_FAILED;
    return Outcome(netos::Send(_handle, buf, count), *this, "Sending to");
}

int32_t TSocket::Recv(void* buf, int32_t count) {
    if (!IsOpen() || count < 0) return SOCKET_FAILED;
    return Outcome(netos::Recv(_handle, buf, count), *this, "Receiving from");
}

int32_t TSocket::SendTo(const void* buf, int32_t count, const TNetAddress& to) {
    if (!IsOpen() || count < 0) return SOCKET_FAILED;
    TNetAddress target = to;
    // An IPv4 target from a dual-stack socket goes as an IPv4-mapped IPv6 address.
    if (to.family == 4 && LocalAddress().family == 6) {
        target = TNetAddress{};
        target.family = 6;
        target.bytes[10] = target.bytes[11] = 0xff;
        std::copy(to.bytes, to.bytes + 4, target.bytes + 12);
        target.port = to.port;
    }
    return Outcome(netos::SendTo(_handle, buf, count, target), *this, "Sending to");
}

int32_t TSocket::RecvFrom(void* buf, int32_t count, TNetAddress* from) {
    if (!IsOpen() || count < 0) return SOCKET_FAILED;
    TNetAddress a;
    const int32_t n = Outcome(netos::RecvFrom(_handle, buf, count, a), *this, "Receiving on");
    // Report IPv4-mapped senders as IPv4.
    static constexpr uint8_t mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (a.family == 6 && std::equal(mapped, mapped + 12, a.bytes)) {
        TNetAddress v4;
        v4.family = 4;
        std::copy(a.bytes + 12, a.bytes + 16, v4.bytes);
        v4.port = a.port;
        a = v4;
    }
    if (from) *from = a;
    return n;
}

bool TSocket::ReadReady(int32_t timeoutMs) {
    return IsOpen() && (netos::Wait(_handle, true, false, timeoutMs) & (netos::READY_READ | netos::READY_ERROR));
}

bool TSocket::WriteReady(int32_t timeoutMs) {
    return IsOpen() && (netos::Wait(_handle, false, true, timeoutMs) & (netos::READY_WRITE | netos::READY_ERROR));
}

bool TSocket::PeerClosed() {
    return !IsOpen() || (!_udp && !_listening && netos::Peek(_handle) == 0);
}

int32_t TSocket::ReadAvail() { return IsOpen() ? netos::Available(_handle) : 0; }

// ---- TCP stream

Ref<TSocketStream> TSocketStream::Create(Ref<TSocket> socket) {
    if (!socket || socket->IsUdp() || socket->IsListening()) return nullptr;
    auto stream = std::make_shared<TSocketStream>();
    stream->_socket = std::move(socket);
    return stream;
}

Ref<TSocketStream> TSocketStream::Open(std::string_view hostPort, int32_t timeoutMs) {
    std::string host;
    int32_t port = 0;
    if (!SplitHostPort(hostPort, host, port)) {
        SetNetError("Not a host and port: \"" + std::string(hostPort) + "\"");
        return nullptr;
    }
    return Create(TSocket::Connect(host, port, timeoutMs));
}

bool TSocketStream::Eof() {
    if (!_eof && (!_socket || _socket->PeerClosed())) _eof = true;
    return _eof;
}

int32_t TSocketStream::Size() { return _socket ? _pos + _socket->ReadAvail() : _pos; }

int32_t TSocketStream::Close() {
    if (_socket) _socket->Close();
    _socket = nullptr;
    return 0;
}

int32_t TSocketStream::Read(void* buf, int32_t count) {
    if (!_socket || _eof || count <= 0) return 0;
    if (!_socket->ReadReady(_timeout)) return 0;
    const int32_t n = _socket->Recv(buf, count);
    if (n <= 0) {
        if (n == 0 || n == SOCKET_FAILED) _eof = true;
        return 0;
    }
    _pos += n;
    return n;
}

int32_t TSocketStream::Write(const void* buf, int32_t count) {
    if (!_socket || count <= 0) return 0;
    const auto* p = static_cast<const uint8_t*>(buf);
    int32_t done = 0;
    while (done < count) {
        if (!_socket->WriteReady(_timeout)) break;
        const int32_t n = _socket->Send(p + done, count - done);
        if (n == SOCKET_WOULDBLOCK) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

Ref<TStream> TSocketStreamFactory::CreateStream(const TUrl&, const TString& proto, const TString& path, bool,
                                                bool) {
    if (proto != u"tcp") return nullptr;
    return TSocketStream::Open(ToUtf8(path));
}

}  // namespace corvex
