#pragma once
// The few byte operations the push module needs from OpenSSL: a SHA-256 digest for ids
// every member computes alike, random ids, and Base64 for basic authentication.

#include <cstdint>
#include <string>
#include <string_view>

namespace zorvane::push {

// The first `hexDigits` (at most 64) lower-case hex digits of the SHA-256 of `bytes`.
std::string sha256Hex(std::string_view bytes, std::size_t hexDigits = 64);

// The first eight bytes of the SHA-256 of `bytes`, big-endian: a well-mixed score.
std::uint64_t sha256Score(std::string_view bytes);

// `hexDigits` lower-case hex digits from the system's random source.
std::string randomHex(std::size_t hexDigits);

// Standard Base64 with padding.
std::string base64(std::string_view bytes);

} // namespace zorvane::push
