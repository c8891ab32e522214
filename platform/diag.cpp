#include "platform/platform.h"

#include <cstdarg>
#include <cstdio>

namespace {
FILE* diag_stream = nullptr;
}

void set_diag_stream(FILE* stream) { diag_stream = stream; }

Diag_capture::Diag_capture() : previous_(diag_stream), file_(std::tmpfile()) {
    // No temporary file (none writable): diagnostics are dropped rather
    // than sent where the caller asked them not to go.
    diag_stream = file_ ? file_ : previous_;
}

Diag_capture::~Diag_capture() {
    diag_stream = previous_;
    if (file_) std::fclose(file_);
}

std::string Diag_capture::take() {
    std::string out;
    if (!file_) return out;
    std::fflush(file_);
    std::fseek(file_, taken_, SEEK_SET);
    for (int c; (c = std::fgetc(file_)) != EOF;) out += static_cast<char>(c);
    taken_ = std::ftell(file_);
    std::fseek(file_, 0, SEEK_END);   // ready for the next diagnostics
    return out;
}

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
