#include "scene/record_fields.h"

std::string hex_of(const char* bytes, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out(2 * n, '0');
    for (size_t i = 0; i < n; ++i) {
        out[2 * i] = digits[static_cast<uint8_t>(bytes[i]) >> 4];
        out[2 * i + 1] = digits[static_cast<uint8_t>(bytes[i]) & 15];
    }
    return out;
}

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool parse_hex(const char* hex, size_t n, char* bytes) {
    for (size_t i = 0; i < n; ++i) {
        const int hi = hex_digit(hex[2 * i]), lo = hi < 0 ? -1 : hex_digit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes[i] = static_cast<char>(hi * 16 + lo);
    }
    return true;
}
