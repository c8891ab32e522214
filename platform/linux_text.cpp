// Text conversion through iconv: GBK (the system's multi-byte code page,
// code page 936) to UTF-16 and from UTF-8 to GBK.
#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace {

// Converts with cd; an invalid or incomplete input sequence becomes
// `replacement` (in the target encoding) and one input byte is skipped.
// Returns the number of output bytes; the output is never overrun.
size_t convert(iconv_t cd, const char* in, size_t in_len, char* out, size_t out_cap,
               const char* replacement, size_t replacement_len) {
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in);
    char* dst = out;
    size_t left = in_len, room = out_cap;
    while (left > 0) {
        if (iconv(cd, &src, &left, &dst, &room) != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) break;   // output full: keep what fits
        if (room < replacement_len) break;
        std::memcpy(dst, replacement, replacement_len);
        dst += replacement_len;
        room -= replacement_len;
        ++src;
        --left;
    }
    return out_cap - room;
}

}  // namespace

size_t platform_gbk_to_utf16(const char* text, char16_t* out, size_t cap) {
    if (cap == 0) return 0;
    static iconv_t cd = iconv_open("UTF-16LE", "GBK");
    static const char question[2] = {'?', 0};
    size_t bytes = convert(cd, text, std::strlen(text), reinterpret_cast<char*>(out),
                           (cap - 1) * sizeof(char16_t), question, sizeof question);
    size_t n = bytes / sizeof(char16_t);
    out[n] = 0;
    return n;
}

namespace {

// Byte text to byte text through cd, NUL-terminated within cap bytes.
size_t convert_bytes(iconv_t cd, const char* text, char* out, size_t cap) {
    if (cap == 0) return 0;
    size_t n = convert(cd, text, std::strlen(text), out, cap - 1, "?", 1);
    out[n] = '\0';
    return n;
}

}  // namespace

size_t platform_utf8_to_gbk(const char* text, char* out, size_t cap) {
    static iconv_t cd = iconv_open("GBK", "UTF-8");
    return convert_bytes(cd, text, out, cap);
}

size_t platform_gbk_to_utf8(const char* text, char* out, size_t cap) {
    static iconv_t cd = iconv_open("UTF-8", "GBK");
    return convert_bytes(cd, text, out, cap);
}
