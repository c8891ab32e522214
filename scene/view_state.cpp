#include "scene/view_state.h"

#include "scene/pools.h"

void set_dot_pitch(Scene& scene, int pitch) {
    if (pitch < min_dot_pitch) pitch = min_dot_pitch;
    if (pitch > max_dot_pitch) pitch = max_dot_pitch;
    scene.dot_pitch = static_cast<uint8_t>(pitch);
}

void move_to_current_pitch(const Scene& scene, uint32_t* x, uint32_t* y, int stored_pitch) {
    if (stored_pitch <= 0) return;
    int32_t lx, ly;
    const led_unit& b = scene.board_at(0, 0);
    const uint32_t bx = static_cast<uint32_t>(b.x), by = static_cast<uint32_t>(b.y);
    if (sign_led(scene, *x, *y, stored_pitch, &lx, &ly)) {
        // On the sign: keep its LED (the sign scales about its corner), so
        // a zoom never changes what the card shows.
        *x = bx + static_cast<uint32_t>(lx) * scene.dot_pitch;
        *y = by + static_cast<uint32_t>(ly) * scene.dot_pitch;
        return;
    }
    if (outside_dot_grid(*x, *y)) return;
    uint32_t stored = static_cast<uint32_t>(stored_pitch);
    uint32_t col = (*x - screen_origin_x) / stored;
    uint32_t row = (*y - screen_origin_y) / stored;
    *x = screen_origin_x + col * scene.dot_pitch;
    *y = screen_origin_y + row * scene.dot_pitch;
    snap_to_board(scene, x, y);   // landed on the sign: on one of its LEDs
}

bool snap_to_board(const Scene& scene, uint32_t* x, uint32_t* y) {
    int32_t lx, ly;
    if (!sign_led(scene, *x, *y, scene.dot_pitch, &lx, &ly)) return false;
    const led_unit& b = scene.board_at(0, 0);
    *x = static_cast<uint32_t>(b.x) + static_cast<uint32_t>(lx) * scene.dot_pitch;
    *y = static_cast<uint32_t>(b.y) + static_cast<uint32_t>(ly) * scene.dot_pitch;
    return true;
}

namespace {

void settle_text(const Scene& scene, string_draw& s, bool selected) {
    if (s.pitch != scene.dot_pitch) {
        move_to_current_pitch(scene, &s.x, &s.y, s.pitch);
        s.pitch = scene.dot_pitch;
    }
    s.height = s.font_size;
    if (selected)
        s.width = static_cast<int32_t>(static_cast<uint32_t>(s.font_size / 2) * static_cast<uint32_t>(s.length));
}

void settle_digit(const Scene& scene, Digit_unit& d, bool selected) {
    if (selected) {
        if (d.pitch != scene.dot_pitch) {
            move_to_current_pitch(scene, &d.x, &d.y, d.pitch);   // outside the grid: stays put
            d.pitch = scene.dot_pitch;
        }
    } else if (outside_dot_grid(d.x, d.y)) {
        d.pitch = 2;   // palette and margins: fixed look, fixed place
    } else if (d.pitch != scene.dot_pitch) {
        move_to_current_pitch(scene, &d.x, &d.y, d.pitch);
        d.pitch = scene.dot_pitch;
    }
}

}  // namespace

void settle_after_edit(Scene& scene) {
    for (int g = 0; g < digit_groups_in_use; ++g)
        for (int i = 0; i < digit_group_size; ++i) {
            Digit_unit& d = scene.digit_at(g, i);
            if (d.enabled) settle_digit(scene, d, i == scene.selected_digit_col && g == scene.selected_digit_row);
        }
    for (int i = 0; i < string_draw_count; ++i) {
        string_draw& s = scene.string_draws[i];
        if (s.enabled) settle_text(scene, s, i == scene.selected_text);
    }
}

void settle_positions_on_sign(Scene& scene) {
    settle_after_edit(scene);
    for (int g = 0; g < digit_groups_in_use; ++g)
        for (int i = 0; i < digit_group_size; ++i) {
            Digit_unit& d = scene.digit_at(g, i);
            if (outside_dot_grid(d.x, d.y)) {
                d.pitch = 2;
            } else if (d.pitch != scene.dot_pitch) {
                move_to_current_pitch(scene, &d.x, &d.y, d.pitch);
                d.pitch = scene.dot_pitch;
            }
            if (snap_to_board(scene, &d.x, &d.y)) d.pitch = scene.dot_pitch;
        }
    for (string_draw& s : scene.string_draws) {
        if (s.pitch != scene.dot_pitch) {
            move_to_current_pitch(scene, &s.x, &s.y, s.pitch);
            s.pitch = scene.dot_pitch;
        }
        if (snap_to_board(scene, &s.x, &s.y)) s.pitch = scene.dot_pitch;
    }
}
