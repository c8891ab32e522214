// Diagnostics and bounded text formatting used by every layer.
#pragma once

#include <cstddef>

// printf-like diagnostic to standard output; returns the characters written.
int diag_print(const char* format, ...) __attribute__((format(printf, 1, 2)));

// printf-like formatting into buf of cap bytes. Returns the length written,
// or -1 when formatting fails or the text would not fit; then buf is empty,
// so a cut text is never used by mistake.
int format_text(char* buf, size_t cap, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
