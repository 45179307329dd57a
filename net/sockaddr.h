// Address conversion and name resolution shared by the POSIX and the Winsock back ends. Included
// by one platform file only, after its socket headers.
#pragma once

#include "net/platform.h"

#include <cstring>
#include <string>
#include <vector>

namespace corvex::netos {
namespace {

// Fills `s` for `a`; the length to pass with it.
int ToSockaddr(const TNetAddress& a, sockaddr_storage& s) {
    std::memset(&s, 0, sizeof s);
    if (a.family == 6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&s);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<unsigned short>(a.port));
        std::memcpy(&v6->sin6_addr, a.bytes, 16);
        return static_cast<int>(sizeof(sockaddr_in6));
    }
    auto* v4 = reinterpret_cast<sockaddr_in*>(&s);
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<unsigned short>(a.port));
    std::memcpy(&v4->sin_addr, a.bytes, 4);
    return static_cast<int>(sizeof(sockaddr_in));
}

// False for a family other than IPv4 and IPv6.
bool FromSockaddr(const sockaddr* s, TNetAddress& a) {
    a = TNetAddress{};
    if (s->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(s);
        a.family = 6;
        std::memcpy(a.bytes, &v6->sin6_addr, 16);
        a.port = ntohs(v6->sin6_port);
        return true;
    }
    if (s->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(s);
        a.family = 4;
        std::memcpy(a.bytes, &v4->sin_addr, 4);
        a.port = ntohs(v4->sin_port);
        return true;
    }
    return false;
}

// Every IPv4 and IPv6 address of `host` (empty: the wildcard when `passive`, else loopback).
// getaddrinfo's code: 0, or why it failed; `out` may be empty on 0 when no address had a family
// we use.
int ResolveAddresses(const std::string& host, int32_t port, bool udp, bool passive, std::vector<TNetAddress>& out) {
    out.clear();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = udp ? SOCK_DGRAM : SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0);
    const std::string service = std::to_string(port);
    addrinfo* list = nullptr;
    const int rc = getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &list);
    if (rc != 0) return rc;
    for (addrinfo* ai = list; ai; ai = ai->ai_next) {
        TNetAddress a;
        if (FromSockaddr(ai->ai_addr, a)) out.push_back(a);
    }
    freeaddrinfo(list);
    return 0;
}

}  // namespace
}  // namespace corvex::netos
