#include <cstring>

#include "platform/platform.h"
#include "command/commands.h"
#include "command/interpreter.h"
#include "scene/pools.h"
#include "scene/view_state.h"

uint32_t dot_to_pixel(uint32_t v, int32_t origin) {
    return (v * dot_pitch + static_cast<uint32_t>(origin)) & 0xFFFFu;
}

namespace {

// The scene already holds this text (same place, size, colour and bytes):
// a stored script replayed at every start must not add it again.
bool text_present(int font_size, int32_t colour, uint32_t x, uint32_t y, const char* bytes, int32_t length) {
    for (const string_draw& s : string_draws)
        if (s.enabled && s.x == x && s.y == y && s.font_size == font_size && s.colour == colour &&
            strnlen(s.text, sizeof s.text) == static_cast<size_t>(length) &&
            std::memcmp(s.text, bytes, static_cast<size_t>(length)) == 0)
            return true;
    return false;
}

bool rect_present(uint8_t colour, uint32_t x, uint32_t y, int32_t width, int32_t height) {
    for (int g = 0; g < digit_groups_in_use; ++g)
        for (int i = 0; i < digit_group_size; ++i) {
            const Digit_unit& d = digit_at(g, i);
            if (d.enabled && d.kind == kind_rect && d.x == x && d.y == y && d.width == width &&
                d.height == height && d.colour == colour)
                return true;
        }
    return false;
}

}  // namespace

bool add_text_element(int32_t type, int font_size, int32_t colour, uint32_t dot_x,
                      uint32_t dot_y, const char* bytes, int32_t length) {
    const led_unit& b0 = board_at(0, 0);
    if (length < 0) length = 0;
    if (length > 511) length = 511;
    if (text_present(font_size, colour, dot_to_pixel(dot_x, b0.x), dot_to_pixel(dot_y, b0.y), bytes, length))
        return false;
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
    s.pitch = dot_pitch;   // the place was worked out at this pitch
    std::memcpy(s.text, bytes, static_cast<size_t>(length));
    s.text[length] = '\0';   // no rest of an earlier, longer text shows through
    s.length = length;
    ++text_count;
    s.enabled = 1;
    return true;
}

void apply_to_scene(const Command_value& v, int32_t type) {
    if (v.verb == Verb::text || v.verb == Verb::zimu) {
        add_text_element(type, v.font_height, static_cast<int32_t>(v.number[0]), v.number[1],
                         v.number[2], v.text, static_cast<int32_t>(v.text_length));
        return;
    }
    if (v.verb != Verb::rect) return;   // the others are carried out by the card
    const led_unit& b0 = board_at(0, 0);
    if (rect_present(static_cast<uint8_t>(v.number[0]), dot_to_pixel(v.number[1], b0.x), dot_to_pixel(v.number[2], b0.y),
                     static_cast<int32_t>((v.number[3] - v.number[1]) & 0xFFFFu),
                     static_cast<int32_t>((v.number[4] - v.number[2]) & 0xFFFFu)))
        return;
    const int32_t n = rect_count;
    if (n < 0 || n + 1 >= digit_group_size) {
        diag_print("Rectangle ignored: group 1 is full\n");
        return;
    }
    digit_at(1, n).id = n + 10;
    rect_count = n + 1;
    Digit_unit& d = digit_at(1, n + 1);
    const led_unit& board0 = board_at(0, 0);
    const uint32_t x1 = v.number[1], y1 = v.number[2];
    d.colour = static_cast<uint8_t>(v.number[0]);
    d.x = dot_to_pixel(x1, board0.x);
    d.y = dot_to_pixel(y1, board0.y);
    d.pitch = dot_pitch;
    d.width = static_cast<int32_t>((v.number[3] - x1) & 0xFFFFu);
    d.height = static_cast<int32_t>((v.number[4] - y1) & 0xFFFFu);
    d.kind = kind_rect;
    d.enabled = 1;
}

void scene_led_command(void*, int32_t type, int argc, char** argv, const char* payload) {
    apply_to_scene(parse_command_arguments(Command_word::led, argc, argv, payload), type);
}

void scene_file_command(void*, int32_t type, int argc, char** argv, const char* payload) {
    apply_to_scene(parse_command_arguments(Command_word::file, argc, argv, payload), type);
}
