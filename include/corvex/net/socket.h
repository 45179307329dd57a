// Sockets: TCP clients and servers and UDP endpoints over IPv4 and IPv6, and the TCP stream.
//
// Host names are resolved by the system's resolver; "" means the wildcard for a listening or
// bound socket and loopback for a connecting one. Sockets start blocking; SetBlocking(false)
// makes transfers return SOCKET_WOULDBLOCK instead of waiting, and the readiness queries tell
// when to try again. A failure leaves its reason in NetError(), naming the host and port.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <corvex/runtime/object.h>
#include <corvex/runtime/string.h>
#include <corvex/stream/stream.h>

namespace corvex {

// ---- Addresses -------------------------------------------------------------------------------

// An IPv4 or IPv6 address with a port.
struct TNetAddress {
    int32_t family = 0;      // 4, 6, or 0 for none
    uint8_t bytes[16] = {};  // the address, network order; IPv4 uses the first 4
    int32_t port = 0;        // 0..65535

    std::string Host() const;      // "127.0.0.1", "::1"
    std::string ToString() const;  // "127.0.0.1:80", "[::1]:80"
    bool operator==(const TNetAddress& other) const;  // same family, address and port
};

// Every address of host for port (IPv6 and IPv4 as the resolver orders them); empty on failure.
std::vector<TNetAddress> ResolveHost(std::string_view host, int32_t port);

// ---- Sockets ---------------------------------------------------------------------------------

constexpr int32_t SOCKET_WOULDBLOCK = -1;  // transfer result: nothing could move without waiting
constexpr int32_t SOCKET_FAILED = -2;       // transfer result: the socket failed (see NetError())

// A TCP or UDP socket. Closed by Close() or when the last reference goes.
class TSocket : public TObject {
public:
    // A TCP connection to host:port, each resolved address tried in turn within timeoutMs.
    // Null when refused, unreachable, timed out or not resolved.
    static Ref<TSocket> Connect(std::string_view host, int32_t port, int32_t timeoutMs = 10000);
    // A TCP server on host:port ("" all interfaces, both families; port 0 picks one). Null on failure.
    static Ref<TSocket> Listen(std::string_view host, int32_t port, int32_t backlog = 16);
    // A UDP socket bound to host:port ("" all interfaces; port 0 picks one). Null on failure.
    static Ref<TSocket> CreateUdp(std::string_view host, int32_t port);

    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;
    ~TSocket() override;

    bool IsUdp() const { return _udp; }             // a UDP socket
    bool IsListening() const { return _listening; }  // a TCP server
    bool IsOpen() const;                             // not closed
    void Close();                                    // a second Close does nothing
    bool SetBlocking(bool blocking);                 // false on failure
    TNetAddress LocalAddress() const;                // family 0 when closed
    TNetAddress RemoteAddress() const;               // a connection's peer; family 0 otherwise

    // A waiting connection of a server: Null when none is waiting (non-blocking) or on failure.
    Ref<TSocket> Accept();

    // TCP: bytes moved (Recv: 0 when the peer closed), SOCKET_WOULDBLOCK or SOCKET_FAILED.
    int32_t Send(const void* buf, int32_t count);
    int32_t Recv(void* buf, int32_t count);
    // UDP: one datagram. RecvFrom cuts a longer datagram to count bytes.
    int32_t SendTo(const void* buf, int32_t count, const TNetAddress& to);
    int32_t RecvFrom(void* buf, int32_t count, TNetAddress* from);

    // Readiness, waiting up to timeoutMs (0: just ask, -1: forever).
    bool ReadReady(int32_t timeoutMs = 0);   // data, a connection to accept, or the peer closed
    bool WriteReady(int32_t timeoutMs = 0);  // a Send would move at least one byte
    int32_t ReadAvail();                     // bytes readable now without waiting
    bool PeerClosed();  // a connection whose peer closed with nothing left unread (does not wait)

private:
    TSocket(intptr_t handle, bool udp);
    intptr_t _handle;
    bool _udp;
    bool _listening = false;
    bool _blocking = true;
};

// ---- The TCP stream ----------------------------------------------------------------------------

// A TCP connection as a stream. Read waits for at least one byte (up to the time-out) and returns
// 0 at the end of the connection or on time-out; Write sends everything. Pos() counts the bytes
// read; Seek is not possible. Closing the stream closes the socket.
class TSocketStream : public TStream {
public:
    static Ref<TSocketStream> Create(Ref<TSocket> socket);  // over a TCP connection; Null: Null
    // "tcp::host:port" ("[v6]:port" for IPv6 literals); Null with NetError() on failure.
    static Ref<TSocketStream> Open(std::string_view hostPort, int32_t timeoutMs = 10000);

    const Ref<TSocket>& Socket() const { return _socket; }  // Null once closed
    void SetTimeout(int32_t ms) { _timeout = ms; }  // for each Read and Write; -1 (the default) waits forever

    bool Eof() override;  // the peer closed and every byte has been read
    int32_t Pos() override { return _pos; }
    int32_t Size() override;  // Pos() plus the bytes readable now
    int32_t Close() override;
    int32_t Read(void* buf, int32_t count) override;
    int32_t Write(const void* buf, int32_t count) override;

private:
    Ref<TSocket> _socket;
    int32_t _pos = 0;
    int32_t _timeout = -1;
    bool _eof = false;
};

// Serves "tcp::host:port": a TCP stream, readable and writeable whatever flags are asked.
class TSocketStreamFactory : public TStreamFactory {
public:
    Ref<TStream> CreateStream(const TUrl& url, const TString& proto, const TString& path,
                              bool readable, bool writeable) override;
};

// Splits "host:port" or "[v6]:port"; false when there is no valid port.
bool SplitHostPort(std::string_view text, std::string& host, int32_t& port);

// ---- Errors and start-up -----------------------------------------------------------------------

TString NetError();  // why the last failed network call of this thread failed; "" if none
void StartNetModule();  // starts the stream module, then registers "tcp", "http" and "https" once

}  // namespace corvex
