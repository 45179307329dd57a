// The operating system's socket calls, behind a small interface so that another platform needs
// only its own copy of platform_posix.cpp. In-tree code only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <corvex/net/socket.h>

namespace corvex::netos {

using THandle = intptr_t;
constexpr THandle NO_HANDLE = -1;

// Transfer results besides a byte count.
constexpr int32_t IO_WOULDBLOCK = -1;  // nothing can move now (non-blocking)
constexpr int32_t IO_ERROR = -2;       // the call failed; LastError() says why

// Readiness bits of Wait.
constexpr int32_t READY_READ = 1;
constexpr int32_t READY_WRITE = 2;
constexpr int32_t READY_ERROR = 4;

// Connect results besides IO_ERROR.
constexpr int32_t CONNECT_DONE = 0;
constexpr int32_t CONNECT_PENDING = 1;

bool Startup();  // once per process; false when the socket layer is unavailable

// Addresses of host (empty: the wildcard when passive, else loopback); false with err on failure.
bool Resolve(const std::string& host, int32_t port, bool udp, bool passive,
             std::vector<TNetAddress>& out, std::string& err);

THandle Open(const TNetAddress& family, bool udp);  // NO_HANDLE on failure
void Close(THandle h);
bool SetNonBlocking(THandle h, bool on);
void SetReuseAddress(THandle h);
void SetDualStack(THandle h);  // IPv6 sockets also take IPv4 traffic
void SetNoDelay(THandle h);
void SetBroadcast(THandle h);

int32_t Connect(THandle h, const TNetAddress& to);  // CONNECT_DONE, CONNECT_PENDING or IO_ERROR
int32_t PendingError(THandle h);                    // the error of a finished connect, 0 if none
bool Bind(THandle h, const TNetAddress& at);
bool Listen(THandle h, int32_t backlog);
THandle Accept(THandle h, TNetAddress& from);       // NO_HANDLE when none is waiting or on error

int32_t Send(THandle h, const void* buf, int32_t count);  // bytes, IO_WOULDBLOCK or IO_ERROR
int32_t Recv(THandle h, void* buf, int32_t count);        // bytes (0: peer closed), or as Send
int32_t Peek(THandle h);                                  // 1 data, 0 closed, or as Send
int32_t SendTo(THandle h, const void* buf, int32_t count, const TNetAddress& to);
int32_t RecvFrom(THandle h, void* buf, int32_t count, TNetAddress& from);
int32_t Available(THandle h);                             // bytes readable without blocking

int32_t Wait(THandle h, bool read, bool write, int32_t timeoutMs);  // READY_* bits, 0 on time-out

bool LocalAddress(THandle h, TNetAddress& out);
bool PeerAddress(THandle h, TNetAddress& out);

int32_t LastError();                       // the code of the last failed call
std::string ErrorText(int32_t code);       // "Connection refused"
int32_t TimedOutCode();                    // the code of a connect that did not finish in time
std::string FormatHost(const TNetAddress& a);  // "127.0.0.1", "::1"

}  // namespace corvex::netos
