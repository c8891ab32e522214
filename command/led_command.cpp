#include <cstring>

#include "app/diag.h"
#include "command/commands.h"
#include "command/interpreter.h"
#include "scene/pools.h"
#include "scene/view_state.h"

uint32_t dot_to_pixel(uint32_t v, int32_t origin) {
    return (v * dot_pitch + static_cast<uint32_t>(origin)) & 0xFFFFu;
}

int text_verb_height(const char* verb) {
    if (!std::strcmp(verb, "t") || !std::strcmp(verb, "16t")) return 16;
    if (!std::strcmp(verb, "12t")) return 12;
    if (!std::strcmp(verb, "24t")) return 24;
    if (!std::strcmp(verb, "32t")) return 32;
    return 0;
}

bool add_text_element(int32_t type, int font_size, int32_t colour, uint32_t dot_x,
                      uint32_t dot_y, const char* bytes, int32_t length) {
    if (text_count < 0 || text_count >= string_draw_count) {
        diag_print("Text ignored: all %d text elements are in use\n", string_draw_count);
        return false;
    }
    string_draw& s = string_draws[text_count];
    const led_unit& board0 = board_at(0, 0);
    s.slot = type;
    s.font_size = static_cast<uint8_t>(font_size);
    s.colour = colour;
    s.x = dot_to_pixel(dot_x, board0.x);
    s.y = dot_to_pixel(dot_y, board0.y);
    if (length < 0) length = 0;
    if (length > static_cast<int32_t>(sizeof s.text) - 1) length = sizeof s.text - 1;
    std::memcpy(s.text, bytes, static_cast<size_t>(length));
    s.text[length] = '\0';   // no rest of an earlier, longer text shows through
    s.length = length;
    ++text_count;
    s.enabled = 1;
    return true;
}

int32_t led_command(int32_t type, int, char** argv, const char*) {
    const char* verb = argv[0];
    if (int height = text_verb_height(verb)) {
        add_text_element(type, height, static_cast<int32_t>(parse_value(argv[1])), parse_value(argv[2]),
                         parse_value(argv[3]), argv[4], static_cast<int32_t>(std::strlen(argv[4])));
        return 0;
    }
    if (!std::strcmp(verb, "r")) {
        const int32_t n = rect_count;
        if (n < 0 || n + 1 >= digit_group_size) {
            diag_print("Rectangle ignored: group 1 is full\n");
            return 0;
        }
        digit_at(1, n).id = n + 10;
        rect_count = n + 1;
        Digit_unit& d = digit_at(1, n + 1);
        const led_unit& board0 = board_at(0, 0);
        const uint32_t x1 = parse_value(argv[2]), y1 = parse_value(argv[3]);
        d.colour = static_cast<uint8_t>(parse_value(argv[1]));
        d.x = dot_to_pixel(x1, board0.x);
        d.y = dot_to_pixel(y1, board0.y);
        d.width = static_cast<int32_t>((parse_value(argv[4]) - x1) & 0xFFFFu);
        d.height = static_cast<int32_t>((parse_value(argv[5]) - y1) & 0xFFFFu);
        d.kind = kind_rect;
        d.enabled = 1;
    }
    return 0;   // clearall, txt, p, l, c, s and others: carried out by the card
}
