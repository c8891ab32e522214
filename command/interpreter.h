// The command language: lines of a command word ("led", "file") and
// blank-separated arguments. An interpreter splits a line, finds its
// command in its command table and calls the command's handler. Each
// interpreter owns its table and argument buffers, so the editor's replay
// and a model of the card can each run lines without touching the other.
#pragma once

#include <cstddef>
#include <cstdint>

// Handler of a command: context is the interpreter's (what the command acts
// on), type is handed through from the caller (the stored entry's type),
// argv[0] is the first argument after the command word, payload is the
// text after the stored line's first line feed.
using command_handler = void (*)(void* context, int32_t type, int argc, char** argv,
                                 const char* payload);

// One row of the command table.
struct command_row {
    char upper_name[20];    // the command word in capitals
    char lower_name[12];    // in small letters
    command_handler handler;
};

constexpr int command_table_rows = 5;

// Limits of a line: at most 18 tokens after the command word, each (and the
// command word) at most 255 characters. Longer lines are rejected whole.
constexpr int max_arguments = 18;
constexpr int max_token = 255;

class Command_interpreter {
public:
    // builtin: the rows reset_command_table restores (at most
    // command_table_rows); context is handed to every handler.
    Command_interpreter(const command_row* builtin, int builtin_count, void* context);

    // Restores the working table: the built-in rows, then empty rows.
    void reset_command_table();

    // Interprets one line (modified: tokens are cut out of it). The command
    // word is case-blind; only the blank separates tokens; arguments the line
    // does not have read as empty text. An unknown word, or none (an empty
    // line, a line starting with a blank), is named in a diagnostic
    // starting "Error command!". Returns false when no handler ran.
    bool run_command_line(int32_t type, char* line, const char* payload);

    command_row table[command_table_rows];

private:
    const command_row* builtin_;
    int builtin_count_;
    void* context_;
    char argument_buffers_[max_arguments][max_token + 1];
    char* argument_vector_[max_arguments];
    char name_scratch_[50];
};

// What split_tokens does with a line of more than max_tokens tokens: the
// interpreter refuses the line whole; the card model keeps the first ones.
enum class Extra_tokens { refuse_line, drop };

// max_length for tokens of any length.
constexpr size_t any_token_length = SIZE_MAX;

// Splits line at blanks (only the blank) into at most max_tokens tokens,
// cutting each out of the line (a NUL after it). Returns the number of
// tokens, or -1 (with a diagnostic) when a token is longer than max_length,
// or there are more than max_tokens and extra is refuse_line. With drop,
// the tokens after the first max_tokens are left in the line, not cut.
int split_tokens(char* line, char** tokens, int max_tokens, size_t max_length = max_token,
                 Extra_tokens extra = Extra_tokens::refuse_line);

// Number reader of the command language: "0x"/"0X" then base 16, otherwise
// base 10; A-F/a-f are 10-15 in both bases, any other non-digit counts 0;
// no sign, wraps modulo 2^32. Null or empty gives 0.
uint32_t parse_value(const char* text);
