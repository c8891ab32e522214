#include <cstring>

#include "command/commands.h"
#include "command/interpreter.h"

int32_t file_command(int32_t type, int, char** argv, const char* payload) {
    const char* verb = argv[0];
    int height = text_verb_height(verb);
    int32_t colour = 0;
    uint32_t x = 0, y = 0;
    if (height) {
        colour = static_cast<int32_t>(parse_value(argv[1]));
        x = parse_value(argv[2]);
        y = parse_value(argv[3]);
    } else if (!std::strcmp(verb, "Zimu")) {
        // Arguments 1, 5, 6 and 7 are not read.
        height = static_cast<int>(parse_value(argv[8]) & 0xFFu);
        colour = static_cast<int32_t>((parse_value(argv[2]) >> 4) & 15u);
        x = parse_value(argv[3]);
        y = parse_value(argv[4]);
    } else {
        return 0;
    }
    const char* text = payload ? payload : "";
    add_text_element(type, height, colour, x, y, text, static_cast<int32_t>(strnlen(text, 511)));
    return 0;
}
