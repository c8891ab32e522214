#include "app/frame.h"

#include <algorithm>
#include <cstdint>

#include "app/outputs.h"
#include "controller/sign_picture.h"

#include "platform/platform.h"
#include "render/bitmap_font.h"
#include "render/board_outline.h"
#include "render/dot_sink.h"
#include "render/led_dots.h"
#include "render/led_framebuffer.h"
#include "render/outline_font.h"
#include "render/overlay.h"
#include "render/shapes.h"
#include "scene/pools.h"
#include "scene/view_state.h"
#include "ui/menus.h"

namespace {
bool pending = true;   // the first pass always draws
}

void note_change() { pending = true; }
void reset_frame_state() { pending = true; }
bool frame_pending() { return pending; }

bool format_readout(int mx, int my, int pitch, char* buf, size_t cap) {
    int64_t dx = static_cast<int64_t>(mx) - 274;
    int64_t dy = static_cast<int64_t>(my) - 164;
    if (dx <= 0 || dy <= 0) return false;
    if (pitch < 1) pitch = 1;   // never divide by zero, whatever the caller passes
    return format_text(buf, cap, "[%d , %d]", static_cast<int>(dx / pitch),
                       static_cast<int>(dy / pitch)) >= 0;
}

namespace {

// The sign's LEDs as the card lights them; sized once per sign size.
Led_framebuffer sign_leds(0, 0);

// Window pixels of the sign that its LED dots can reach (a dot is
// dot_pitch pixels wide around its centre); empty when no board is in use.
struct Pixel_box {
    int64_t left = 1, top = 1, right = 0, bottom = 0;
};

Pixel_box sign_box(const Scene& scene, int w, int h) {
    Pixel_box b;
    if (w <= 0 || h <= 0) return b;
    const led_unit& u = scene.board_at(0, 0);
    const int64_t p = scene.dot_pitch;
    b.left = int64_t{static_cast<uint32_t>(u.x)} - p;
    b.top = int64_t{static_cast<uint32_t>(u.y)} - p;
    b.right = int64_t{static_cast<uint32_t>(u.x)} + int64_t{w} * p;
    b.bottom = int64_t{static_cast<uint32_t>(u.y)} + int64_t{h} * p;
    return b;
}

// Each lit LED of the sign as its dot, only those inside the window.
void draw_sign(const Scene& scene, Draw_target& dots, int w, int h) {
    sign_leds.resize(w, h);
    paint_sign(scene, sign_leds, scene_text_files());
    const led_unit& u = scene.board_at(0, 0);
    const int64_t p = scene.dot_pitch, bx = static_cast<uint32_t>(u.x), by = static_cast<uint32_t>(u.y);
    // LEDs whose dot reaches into the window: centre within p of it.
    auto first = [&](int64_t origin) { return std::max<int64_t>(0, (-p - origin) / p); };
    const int64_t x0 = first(bx), y0 = first(by);
    const int64_t x1 = std::min<int64_t>(w - 1, (int64_t{scene.view_width} + p - bx) / p);
    const int64_t y1 = std::min<int64_t>(h - 1, (int64_t{scene.view_height} + p - by) / p);
    for (int64_t y = y0; y <= y1; ++y) {
        const uint8_t* row = sign_leds.row(static_cast<int>(y));
        for (int64_t x = x0; x <= x1; ++x)
            if (row[x] != Led_framebuffer::dark)
                dots.light(row[x], static_cast<int32_t>(bx + x * p), static_cast<int32_t>(by + y * p));
    }
}

bool on_sign(const Scene& scene, uint32_t x, uint32_t y) {
    int32_t lx, ly;
    return sign_led(scene, x, y, scene.dot_pitch, &lx, &ly);
}

// A text on the sign that the card cannot show (its file is missing): a
// dim outline where it stands, and no LEDs.
void mark_unshown_text(const string_draw& s, int pitch) {
    Dot_sink& sink = dot_sink();
    const float p = static_cast<float>(pitch);
    const float w = p * static_cast<float>(std::max<int32_t>(s.font_size, s.font_size / 2 * s.length));
    const float h = p * static_cast<float>(s.font_size);
    const float x = static_cast<float>(s.x), y = static_cast<float>(s.y);
    const float box[8] = {x, y, x + w, y, x + w, y + h, x, y + h};
    sink.set_colour(0.35f, 0.35f, 0.35f);
    sink.line_loop(box, 4);
}

}  // namespace

void draw_display(const Scene& scene) {
    pending = false;
    Dot_sink& sink = dot_sink();

    // A clean frame: cleared, lighting and texturing off, lines 1 pixel
    // wide. What is drawn later lies on top of what is drawn earlier.
    sink.begin_frame();

    // The sign: every element on a board as the card lights it.
    int w, h;
    output_screen_size(scene, &w, &h);
    Editor_dots grid = editor_dots(sink, scene);
    draw_sign(scene, grid, w, h);

    // Elements on no board (the palette, the margins, an element dragged
    // off the sign) in window pixels, shape and digit elements of groups
    // 0..19 first, then texts. The sign is kept out of their reach, so it
    // shows only what the card lights.
    const Pixel_box sign = sign_box(scene, w, h);
    Editor_dots margin = margin_dots(sink, scene);
    grid.keep_out(sign.left, sign.top, sign.right, sign.bottom);
    margin.keep_out(sign.left, sign.top, sign.right, sign.bottom);
    for (int g = 0; g < digit_groups_in_use; ++g) {
        for (int i = 0; i < digit_group_size; ++i) {
            const Digit_unit& d = scene.digit_at(g, i);
            if (d.enabled && on_sign(scene, d.x, d.y)) continue;   // drawn with the sign
            draw_digit_unit(grid, margin, d, i == scene.selected_digit_col && g == scene.selected_digit_row);
        }
    }
    for (int i = 0; i < string_draw_count; ++i) {
        const string_draw& s = scene.string_draws[i];
        if (s.enabled && on_sign(scene, s.x, s.y)) {
            draw_text_marks(s, scene.dot_pitch, i == scene.selected_text);
            if (text_file_missing(scene_text_files(), s.text_source)) mark_unshown_text(s, scene.dot_pitch);
        } else {
            draw_text_element(grid, margin, s, i == scene.selected_text);
        }
    }

    // The outline of board (0, 0), over the sign.
    sink.set_texturing(false);
    if (scene.selected_board_col == 0 && scene.selected_board_row == 0)
        draw_board_outline_selected(scene.board_at(0, 0), scene.dot_pitch);
    else
        draw_board_outline(scene.board_at(0, 0), scene.dot_pitch);

    // Measured rectangles, over the sign and the elements.
    const int overlays = scene.graph_count < graph_draw_count ? scene.graph_count : graph_draw_count;
    for (int k = 0; k < overlays; ++k) {
        if (!scene.graph_draws[k].in_use) continue;
        if (k == scene.selected_graph)
            draw_overlay_selected(scene.graph_draws[k], scene.dot_pitch);
        else
            draw_overlay(scene.graph_draws[k], scene.dot_pitch);
    }

    // The menu entries, which have no picture of their own otherwise.
    draw_menu_entries(scene);

    // The coordinate readout beside the mouse, over the scene.
    char readout[1024];
    if (format_readout(scene.mouse_x, scene.mouse_y, scene.dot_pitch, readout, sizeof readout)) {
        char16_t wide[1024];
        to_wide(readout, wide, 1024);
        sink.set_texturing(false);
        sink.set_colour(1, 1, 1);
        draw_label(wide, scene.mouse_x, scene.mouse_y - 20, 289, 225);
    }

    // The status line and the help, over the readout and everything else.
    draw_status_and_help(scene);

    // Present the frame.
    sink.end_frame();
}

void reshape_view(Scene& scene, int width, int height) {
    View_projection v = view_projection(width, height);
    scene.view_width = v.viewport_w;
    scene.view_height = v.viewport_h;
    dot_sink().set_projection(v);
    note_change();
}
