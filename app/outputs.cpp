#include "app/outputs.h"

#include <algorithm>

#include "app/config.h"
#include "app/startup.h"
#include "render/bitmap_font.h"
#include "render/led_dots.h"
#include "render/shapes.h"
#include "scene/pools.h"
#include "scene/settings.h"
#include "scene/view_state.h"

namespace {

// Takes the editor's dots in window pixels and lights the LED each lies in.
class Board_led_target final : public Draw_target {
public:
    explicit Board_led_target(Led_framebuffer& screen) : screen_(screen) {
        pitch = dot_pitch;
        // The reach of the boards in use, so primitives skip the rest.
        clip_left = clip_top = INT64_MAX;
        clip_right = clip_bottom = INT64_MIN;
        for (int r = 0; r < output_rows(); ++r)
            for (int c = 0; c < output_columns(); ++c) {
                const led_unit& u = board_at(r, c);
                const int64_t ux = static_cast<uint32_t>(u.x), uy = static_cast<uint32_t>(u.y);
                clip_left = std::min(clip_left, ux);
                clip_top = std::min(clip_top, uy);
                clip_right = std::max(clip_right, ux + int64_t{u.width} * dot_pitch - 1);
                clip_bottom = std::max(clip_bottom, uy + int64_t{u.height} * dot_pitch - 1);
            }
    }

    void light(uint8_t colour, int32_t x, int32_t y) override {
        int r, c;
        if (x < 0 || y < 0 ||
            !board_holding(static_cast<uint32_t>(x), static_cast<uint32_t>(y), dot_pitch, &r, &c)) {
            screen_.light(colour, -1, -1);   // no LED, but the colour in force changes as drawn
            return;
        }
        const led_unit& u = board_at(r, c);
        const int64_t p = dot_pitch;
        const int64_t lx = (x - int64_t{static_cast<uint32_t>(u.x)}) / p + int64_t{c} * u.width;
        const int64_t ly = (y - int64_t{static_cast<uint32_t>(u.y)}) / p + int64_t{r} * u.height;
        screen_.light(colour, static_cast<int32_t>(lx), static_cast<int32_t>(ly));
    }

private:
    Led_framebuffer& screen_;
};

}  // namespace

void settle_scene_positions() {
    for (int g = 0; g < digit_groups_in_use; ++g)
        for (int i = 0; i < digit_group_size; ++i)
            if (digit_at(g, i).enabled) settle_digit_position(digit_at(g, i));
    for (string_draw& s : string_draws)
        if (s.enabled) settle_text_position(s);
}

void render_scene_leds(Led_framebuffer& screen) {
    screen.clear();
    Board_led_target target(screen);
    redirect_editor_dots(&target);
    // The frame's order: shapes and digits, then texts. Only the elements
    // on the sign: palette copies that reach over a board are not.
    settle_scene_positions();
    int r, c;
    auto on_sign = [&](uint32_t x, uint32_t y) { return board_holding(x, y, dot_pitch, &r, &c); };
    for (int g = 0; g < digit_groups_in_use; ++g)
        for (int i = 0; i < digit_group_size; ++i)
            if (on_sign(digit_at(g, i).x, digit_at(g, i).y)) draw_digit_unit(digit_at(g, i));
    for (string_draw& s : string_draws)
        if (on_sign(s.x, s.y)) draw_text_element(s);
    redirect_editor_dots(nullptr);
}

Export_outcome export_scene() {
    settle_scene_positions();
    Export_outcome o = export_to_drive(export_folder, exe_folder);
    set_status(o.message.c_str());
    return o;
}
