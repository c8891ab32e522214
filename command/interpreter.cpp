#include "command/interpreter.h"

#include <cstring>

#include "app/diag.h"
#include "command/commands.h"

command_row command_table[command_table_rows];

namespace {

const command_row builtin_rows[] = {
    {"LED", "led", led_command, 0, "  LED/led:  led function "},
    {"FILE", "file", file_command, 0, "  FILE/file:  file function"},
};

// Argument buffers, reused by every line, and the vector handed to handlers.
char argument_buffers[max_arguments][max_token + 1];
char* argument_vector[max_arguments];
char name_scratch[50];

void to_upper(char* s) {
    for (; *s; ++s)
        if (*s >= 'a' && *s <= 'z') *s = static_cast<char>(*s - 'a' + 'A');
}

// True when the row's name, in capitals, equals word (already in capitals).
bool name_matches(const char* name, const char* word) {
    if (!name[0]) return false;   // empty rows never match
    std::strncpy(name_scratch, name, sizeof name_scratch - 1);
    name_scratch[sizeof name_scratch - 1] = '\0';
    to_upper(name_scratch);
    return std::strcmp(name_scratch, word) == 0;
}

}  // namespace

void reset_command_table() {
    std::memset(command_table, 0, sizeof command_table);
    std::memcpy(command_table, builtin_rows, sizeof builtin_rows);
}

void run_command_line(int32_t type, char* line, const char* payload) {
    // 1. The command word.
    size_t word = 0;
    while (line[word] && line[word] != ' ') ++word;
    if (word > max_token) {
        diag_print("Error command! The command word is longer than %d characters\n", max_token);
        return;
    }
    std::memcpy(argument_buffers[0], line, word);
    argument_buffers[0][word] = '\0';

    // 2-3. Look it up, case-blind.
    to_upper(argument_buffers[0]);
    const command_row* row = nullptr;
    for (const command_row& r : command_table) {
        if (name_matches(r.upper_name, argument_buffers[0]) ||
            name_matches(r.lower_name, argument_buffers[0])) {
            row = &r;
            break;
        }
    }
    if (!row || !row->handler) {
        diag_print("Error command! Help with 'H/h'\n");
        return;
    }

    // 4. Split the rest at blanks. The line is checked whole before any
    //    handler runs; arguments it does not have read as empty text.
    char* p = line + word;
    char* starts[max_arguments];
    size_t lengths[max_arguments];
    int argc = 0;
    while (*p) {
        while (*p == ' ') ++p;
        if (!*p) break;
        char* start = p;
        while (*p && *p != ' ') ++p;
        if (argc == max_arguments) {
            diag_print("Error command! More than %d arguments\n", max_arguments);
            return;
        }
        if (static_cast<size_t>(p - start) > max_token) {
            diag_print("Error command! An argument is longer than %d characters\n", max_token);
            return;
        }
        starts[argc] = start;
        lengths[argc++] = static_cast<size_t>(p - start);
    }
    for (int i = 0; i < max_arguments; ++i) {
        if (i < argc) {
            std::memcpy(argument_buffers[i], starts[i], lengths[i]);
            argument_buffers[i][lengths[i]] = '\0';
            starts[i][lengths[i]] = '\0';   // cut the token out of the line
        } else {
            argument_buffers[i][0] = '\0';
        }
        argument_vector[i] = argument_buffers[i];
    }

    // 5. The handler.
    row->handler(type, argc, argument_vector, payload);
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
