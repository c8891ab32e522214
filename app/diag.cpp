#include "app/diag.h"

#include <cstdarg>
#include <cstdio>

int diag_print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
    return n;
}

int format_text(char* buf, size_t cap, const char* format, ...) {
    if (cap == 0) return -1;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buf, cap, format, args);
    va_end(args);
    if (n < 0 || static_cast<size_t>(n) >= cap) {
        buf[0] = '\0';
        return -1;
    }
    return n;
}
