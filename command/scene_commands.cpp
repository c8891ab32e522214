#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "command/commands.h"
#include "command/interpreter.h"
#include "scene/free_records.h"
#include "scene/pools.h"
#include "scene/status_line.h"
#include "scene/view_state.h"

uint32_t dot_to_pixel(const Scene& scene, uint32_t v, int32_t origin) {
    return (v * scene.dot_pitch + static_cast<uint32_t>(origin)) & 0xFFFFu;
}

namespace {

// The scene already holds this text (same place, size, colour and bytes):
// a stored script replayed at every start must not add it again.
bool text_present(const Scene& scene, int font_size, int32_t colour, uint32_t x, uint32_t y, const char* bytes, int32_t length) {
    for (const string_draw& s : scene.string_draws)
        if (s.enabled && s.x == x && s.y == y && s.font_size == font_size && s.colour == colour &&
            strnlen(s.text, sizeof s.text) == static_cast<size_t>(length) &&
            std::memcmp(s.text, bytes, static_cast<size_t>(length)) == 0)
            return true;
    return false;
}

bool rect_present(const Scene& scene, uint8_t colour, uint32_t x, uint32_t y, int32_t width, int32_t height) {
    for (int g = 0; g < digit_groups_in_use; ++g)
        for (int i = 0; i < digit_group_size; ++i) {
            const Digit_unit& d = scene.digit_at(g, i);
            if (d.enabled && d.kind == kind_rect && d.x == x && d.y == y && d.width == width &&
                d.height == height && d.colour == colour)
                return true;
        }
    return false;
}

}  // namespace

bool add_text_element(Scene& scene, Status_line& status, int32_t type, int font_size, int32_t colour, uint32_t dot_x,
                      uint32_t dot_y, const char* bytes, int32_t length) {
    const led_unit& b0 = scene.board_at(0, 0);
    if (length < 0) length = 0;
    if (length > 511) length = 511;
    if (text_present(scene, font_size, colour, dot_to_pixel(scene, dot_x, b0.x), dot_to_pixel(scene, dot_y, b0.y), bytes, length))
        return false;
    const int r = free_text_record(scene);
    if (r < 0) {
        diag_print("Text ignored: all %d text elements are in use\n", string_draw_count);
        status.set_failure("no free text record: delete one");
        return false;
    }
    string_draw& s = scene.string_draws[r];
    const led_unit& board0 = scene.board_at(0, 0);
    s.slot = type;
    s.font_size = static_cast<uint8_t>(font_size);
    s.colour = colour;
    s.x = dot_to_pixel(scene, dot_x, board0.x);
    s.y = dot_to_pixel(scene, dot_y, board0.y);
    s.pitch = scene.dot_pitch;   // the place was worked out at this pitch
    std::memcpy(s.text, bytes, static_cast<size_t>(length));
    s.text[length] = '\0';   // no rest of an earlier, longer text shows through
    s.length = length;
    s.text_source = 0;   // a script's text is inline, whatever record it lands in
    scene.text_count = std::max(scene.text_count, r + 1);
    s.enabled = 1;
    ++scene.texts_made;
    return true;
}

void apply_to_scene(Scene& scene, Status_line& status, const Command_value& v, int32_t type) {
    if (v.verb == Verb::text || v.verb == Verb::zimu) {
        add_text_element(scene, status, type, v.font_height, static_cast<int32_t>(v.number[0]), v.number[1],
                         v.number[2], v.text, static_cast<int32_t>(v.text_length));
        return;
    }
    if (v.verb != Verb::rect) return;   // the others are carried out by the card
    const led_unit& b0 = scene.board_at(0, 0);
    if (rect_present(scene, static_cast<uint8_t>(v.number[0]), dot_to_pixel(scene, v.number[1], b0.x), dot_to_pixel(scene, v.number[2], b0.y),
                     static_cast<int32_t>((v.number[3] - v.number[1]) & 0xFFFFu),
                     static_cast<int32_t>((v.number[4] - v.number[2]) & 0xFFFFu)))
        return;
    const int r = free_shape_record(scene, 1);
    if (r < 0) {
        diag_print("Rectangle ignored: group 1 is full\n");
        status.set_failure("no free shape record: delete one");
        return;
    }
    Digit_unit& d = scene.digit_at(1, r);
    d.id = r + 9;
    scene.rect_count = std::max(scene.rect_count, r);
    const led_unit& board0 = scene.board_at(0, 0);
    const uint32_t x1 = v.number[1], y1 = v.number[2];
    d.colour = static_cast<uint8_t>(v.number[0]);
    d.x = dot_to_pixel(scene, x1, board0.x);
    d.y = dot_to_pixel(scene, y1, board0.y);
    d.pitch = scene.dot_pitch;
    d.width = static_cast<int32_t>((v.number[3] - x1) & 0xFFFFu);
    d.height = static_cast<int32_t>((v.number[4] - y1) & 0xFFFFu);
    d.kind = kind_rect;
    d.enabled = 1;
    ++scene.shapes_made;
}

void scene_led_command(void* context, int32_t type, int argc, char** argv, const char* payload) {
    Scene_edit& edit = *static_cast<Scene_edit*>(context);
    apply_to_scene(edit.scene, edit.status, parse_command_arguments(Command_word::led, argc, argv, payload), type);
}

void scene_file_command(void* context, int32_t type, int argc, char** argv, const char* payload) {
    Scene_edit& edit = *static_cast<Scene_edit*>(context);
    apply_to_scene(edit.scene, edit.status, parse_command_arguments(Command_word::file, argc, argv, payload), type);
}

Command_interpreter scene_interpreter(Scene_edit& edit) {
    static const command_row rows[] = {
        {"LED", "led", scene_led_command},
        {"FILE", "file", scene_file_command},
    };
    return Command_interpreter(rows, 2, &edit);
}

void run_scene_line(Scene& scene, Status_line& status, int32_t type, char* line, const char* payload) {
    Scene_edit edit{scene, status};
    scene_interpreter(edit).run_command_line(type, line, payload);
}
