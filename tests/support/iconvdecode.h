#pragma once
// GB18030 decoded the plain way, for checking the library's decoder against: the whole input
// through one iconv call after another, every byte iconv refuses replaced by U+FFFD (0x80 by
// the euro sign), decoding going on at the next byte.

#include <cerrno>
#include <cstddef>
#include <iconv.h>
#include <string>
#include <string_view>

namespace zorvane::testing {

inline std::string gb18030DecodedWhole(std::string_view bytes) {
    iconv_t cd = iconv_open("UTF-8", "GB18030");
    std::string out;
    // iconv's interface is not const-correct; it never writes through the input pointer.
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char buffer[256];
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            out += *in == '\x80' ? "\xE2\x82\xAC" : "\xEF\xBF\xBD";
            ++in;
            --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace zorvane::testing
