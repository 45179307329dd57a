// What the HTTP back ends (libcurl, WinHTTP) share with the stream front. In-tree code only.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace corvex {

int64_t HttpNowMs();  // a steady clock in milliseconds

// The reason given when no body byte came for timeoutMs.
inline std::string HttpStallText(int32_t timeoutMs) {
    return "timed out after " + std::to_string(timeoutMs) + " ms without data";
}

}  // namespace corvex
