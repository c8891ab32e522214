// Diagnostics and bounded text formatting used by every layer.
#pragma once

#include <cstddef>

#include <cstdio>

// printf-like diagnostic to standard output (or the stream set below);
// returns the characters written.
int diag_print(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where diagnostics go (null: standard output).
void set_diag_stream(FILE* stream);

// printf-like formatting into buf of cap bytes. Returns the length written,
// or -1 when formatting fails or the text would not fit; then buf is empty,
// so a cut text is never used by mistake.
int format_text(char* buf, size_t cap, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
