#include "push/digest.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <algorithm>
#include <array>
#include <random>

namespace zorvane::push {
namespace {

constexpr std::string_view kHex = "0123456789abcdef";

std::array<unsigned char, SHA256_DIGEST_LENGTH> sha256(std::string_view bytes) {
    std::array<unsigned char, SHA256_DIGEST_LENGTH> digest{};
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_sha256(), nullptr);
    return digest;
}

} // namespace

std::string sha256Hex(std::string_view bytes, std::size_t hexDigits) {
    const auto digest = sha256(bytes);
    std::string out;
    out.reserve(digest.size() * 2);
    for (const unsigned char byte : digest) {
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0f];
    }
    out.resize(std::min(hexDigits, out.size()));
    return out;
}

std::uint64_t sha256Score(std::string_view bytes) {
    const auto digest = sha256(bytes);
    std::uint64_t score = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        score = (score << 8) | digest[i];
    }
    return score;
}

std::string randomHex(std::size_t hexDigits) {
    std::string bytes((hexDigits + 1) / 2, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()),
                   static_cast<int>(bytes.size())) != 1) {
        // OpenSSL seeds from the kernel; should that ever fail, ids only need to differ.
        std::random_device device;
        for (char& byte : bytes) {
            byte = static_cast<char>(device());
        }
    }
    std::string out;
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        out += kHex[value >> 4];
        out += kHex[value & 0x0f];
    }
    out.resize(hexDigits);
    return out;
}

std::string base64(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                        reinterpret_cast<const unsigned char*>(bytes.data()),
                                        static_cast<int>(bytes.size()));
    out.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return out;
}

} // namespace zorvane::push
