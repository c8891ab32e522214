#include "command/interpreter.h"

#include <cstring>

#include "platform/platform.h"

namespace {

void to_upper(char* s) {
    for (; *s; ++s)
        if (*s >= 'a' && *s <= 'z') *s = static_cast<char>(*s - 'a' + 'A');
}

}  // namespace

Command_interpreter::Command_interpreter(const command_row* builtin, int builtin_count,
                                         void* context)
    : table{}, builtin_(builtin),
      builtin_count_(builtin_count < command_table_rows ? builtin_count : command_table_rows),
      context_(context), argument_buffers_{}, argument_vector_{}, name_scratch_{} {
    reset_command_table();
}

void Command_interpreter::reset_command_table() {
    std::memset(table, 0, sizeof table);
    for (int i = 0; i < builtin_count_; ++i) table[i] = builtin_[i];
    std::memset(argument_buffers_, 0, sizeof argument_buffers_);
}

int split_tokens(char* line, char** tokens, int max_tokens, size_t max_length, Extra_tokens extra) {
    int count = 0;
    char* p = line;
    while (*p) {
        while (*p == ' ') ++p;
        if (!*p) break;
        char* start = p;
        while (*p && *p != ' ') ++p;
        if (count == max_tokens) {
            if (extra == Extra_tokens::drop) break;
            diag_print("Error command! More than %d arguments\n", max_tokens);
            return -1;
        }
        if (static_cast<size_t>(p - start) > max_length) {
            diag_print("Error command! An argument is longer than %zu characters\n", max_length);
            return -1;
        }
        tokens[count++] = start;
        if (*p) *p++ = '\0';
    }
    return count;
}

bool Command_interpreter::run_command_line(int32_t type, char* line, const char* payload) {
    // The command word: everything up to the first blank.
    size_t word = 0;
    while (line[word] && line[word] != ' ') ++word;
    if (word > max_token) {
        diag_print("Error command! The command word is longer than %d characters\n", max_token);
        return false;
    }
    std::memcpy(argument_buffers_[0], line, word);
    argument_buffers_[0][word] = '\0';

    // Look it up in the table, case-blind, under either of a row's names.
    // Empty rows never match.
    to_upper(argument_buffers_[0]);
    auto matches = [this](const char* name) {
        if (!name[0]) return false;
        std::strncpy(name_scratch_, name, sizeof name_scratch_ - 1);
        name_scratch_[sizeof name_scratch_ - 1] = '\0';
        to_upper(name_scratch_);
        return std::strcmp(name_scratch_, argument_buffers_[0]) == 0;
    };
    const command_row* row = nullptr;
    for (const command_row& r : table) {
        if (matches(r.upper_name) || matches(r.lower_name)) {
            row = &r;
            break;
        }
    }
    if (!row || !row->handler) {
        if (word)
            diag_print("Error command! Unknown command word '%.*s'\n", static_cast<int>(word), line);
        else
            diag_print("Error command! No command word at the start of the line\n");
        return false;
    }

    // Split the rest at blanks. The whole line is checked before the
    // handler runs, so a refused line changes nothing; arguments the line
    // does not have read as empty text, never as the previous line's.
    char* tokens[max_arguments];
    const int argc = split_tokens(line + word, tokens, max_arguments);
    if (argc < 0) return false;
    for (int i = 0; i < max_arguments; ++i) {
        if (i < argc)
            std::memcpy(argument_buffers_[i], tokens[i], std::strlen(tokens[i]) + 1);
        else
            argument_buffers_[i][0] = '\0';
        argument_vector_[i] = argument_buffers_[i];
    }

    row->handler(context_, type, argc, argument_vector_, payload);
    return true;
}

uint32_t parse_value(const char* text) {
    if (!text) return 0;
    uint32_t base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    uint32_t result = 0;
    for (; *text; ++text) {
        const char c = *text;
        uint32_t v = 0;
        if (c >= '0' && c <= '9') v = static_cast<uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'F') v = static_cast<uint32_t>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f') v = static_cast<uint32_t>(c - 'a' + 10);
        result = result * base + v;
    }
    return result;
}
