// The command language: lines of a command word ("led", "file") and
// blank-separated arguments. The interpreter splits a line, finds its
// command in the command table and calls the command's handler. Lines come
// from the card's stored script (see replay.h).
#pragma once

#include <cstdint>

// Handler of a command: type is handed through from the caller (the stored
// entry's type), argv[0] is the first argument after the command word,
// payload is the text after the stored line's first line feed. Returns 0.
using command_handler = int32_t (*)(int32_t type, int argc, char** argv, const char* payload);

// One row of the command table.
struct command_row {
    char upper_name[20];    // the command word in capitals
    char lower_name[12];    // in small letters
    command_handler handler;
    int32_t reserved;       // 0, not read
    char help[80];          // one-line description, not printed
};

constexpr int command_table_rows = 5;
extern command_row command_table[command_table_rows];

// Limits of a line: at most 18 tokens after the command word, each (and the
// command word) at most 255 characters. Longer lines are rejected whole.
constexpr int max_arguments = 18;
constexpr int max_token = 255;

// Restores the working table: "LED"/"led" and "FILE"/"file", then empty rows.
void reset_command_table();

// Interprets one line (modified: tokens are cut out of it). The command word
// is case-blind; only the blank separates tokens; arguments the line does not
// have read as empty text. Unknown words print "Error command! Help with
// 'H/h'\n".
void run_command_line(int32_t type, char* line, const char* payload);

// Number reader of the command language: "0x"/"0X" then base 16, otherwise
// base 10; A-F/a-f are 10-15 in both bases, any other non-digit counts 0;
// no sign, wraps modulo 2^32. Null or empty gives 0.
uint32_t parse_value(const char* text);
