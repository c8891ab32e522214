#include "platform/platform.h"

#include <cstdarg>
#include <cstdio>

namespace {
FILE* diag_stream = nullptr;
}

void set_diag_stream(FILE* stream) { diag_stream = stream; }

int diag_print(const char* format, ...) {
    FILE* out = diag_stream ? diag_stream : stderr;
    va_list args;
    va_start(args, format);
    int n = std::vfprintf(out, format, args);
    va_end(args);
    std::fflush(out);
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
