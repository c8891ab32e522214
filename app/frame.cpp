#include "app/frame.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <type_traits>

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

void note_change(Frame_cache& cache) { cache.pending = true; }
bool frame_pending(const Frame_cache& cache) { return cache.pending; }

// The readout counts dots from this window pixel: 24 pixels (12 dots at
// the start-up pitch) right of and below the screen's origin at (250, 140).
constexpr int64_t readout_origin_x = 274;
constexpr int64_t readout_origin_y = 164;
// The readout's label: wrap width and line height in pixels, wide enough
// that "[x , y]" always stays on one line.
constexpr int32_t readout_wrap = 289;
constexpr int32_t readout_line_height = 225;

bool format_readout(int mx, int my, int pitch, char* buf, size_t cap) {
    int64_t dx = static_cast<int64_t>(mx) - readout_origin_x;
    int64_t dy = static_cast<int64_t>(my) - readout_origin_y;
    if (dx <= 0 || dy <= 0) return false;
    if (pitch < 1) pitch = 1;   // never divide by zero, whatever the caller passes
    return format_text(buf, cap, "[%d , %d]", static_cast<int>(dx / pitch),
                       static_cast<int>(dy / pitch)) >= 0;
}

namespace {

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

// LEDs x0..x1, y0..y1 of the sign (within it) that reach into the window.
struct Led_range {
    int64_t x0, y0, x1, y1;
};

Led_range window_leds(const Scene& scene, int w, int h) {
    const led_unit& u = scene.board_at(0, 0);
    const int64_t p = scene.dot_pitch, bx = static_cast<uint32_t>(u.x), by = static_cast<uint32_t>(u.y);
    // LEDs whose dot reaches into the window: centre within p of it.
    auto first = [&](int64_t origin) { return std::max<int64_t>(0, (-p - origin) / p); };
    return {first(bx), first(by), std::min<int64_t>(w - 1, (int64_t{scene.view_width} + p - bx) / p),
            std::min<int64_t>(h - 1, (int64_t{scene.view_height} + p - by) / p)};
}

// Each lit LED of range r of the sign as its dot, row by row.
void draw_sign_leds(const Scene& scene, const Led_framebuffer& sign_leds, Dot_sink& sink, Draw_target& dots,
                    const Led_range& r) {
    const led_unit& u = scene.board_at(0, 0);
    const int64_t p = scene.dot_pitch, bx = static_cast<uint32_t>(u.x), by = static_cast<uint32_t>(u.y);
    if (r.x0 > r.x1 || r.y0 > r.y1) return;
    // As one picture where the sink can: the colours the dots would have.
    uint8_t rgba[256][4];
    for (int code = 0; code < 256; ++code) {
        const int c = card_colour(static_cast<uint8_t>(code));
        const bool lit = code != Led_framebuffer::dark;
        rgba[code][0] = lit && c != led_green ? 255 : 0;
        rgba[code][1] = lit && c != led_red ? 255 : 0;
        rgba[code][2] = 0;
        rgba[code][3] = lit ? 255 : 0;
    }
    const Led_block block{sign_leds.row(static_cast<int>(r.y0)) + r.x0, sign_leds.width(),
                          static_cast<int>(r.x1 - r.x0 + 1), static_cast<int>(r.y1 - r.y0 + 1),
                          bx + r.x0 * p, by + r.y0 * p, static_cast<int>(p), rgba};
    if (sink.led_block(block)) return;
    for (int64_t y = r.y0; y <= r.y1; ++y) {
        const uint8_t* row = sign_leds.row(static_cast<int>(y));
        for (int64_t x = r.x0; x <= r.x1; ++x)
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
void mark_unshown_text(Dot_sink& sink, const string_draw& s, int pitch) {
    const float p = static_cast<float>(pitch);
    const float w = p * static_cast<float>(std::max<int32_t>(s.font_size, s.font_size / 2 * s.length));
    const float h = p * static_cast<float>(s.font_size);
    const float x = static_cast<float>(s.x), y = static_cast<float>(s.y);
    const float box[8] = {x, y, x + w, y, x + w, y + h, x, y + h};
    sink.set_colour(0.35f, 0.35f, 0.35f);
    sink.line_loop(box, 4);
}

// The selected shape or digit record, or null.
const Digit_unit* selected_digit(const Scene& scene) {
    if (scene.selected_digit_row >= digit_groups_in_use || scene.selected_digit_col >= digit_group_size)
        return nullptr;
    return &scene.digit_at(scene.selected_digit_row, scene.selected_digit_col);
}

// Text i: on the sign its marks (its LEDs are the sign's), elsewhere its dots.
void draw_text(const Scene& scene, const Text_files& texts, const Screen& screen, Editor_dots& grid,
               Editor_dots& margin, int i) {
    Dot_sink& sink = screen.sink;
    const string_draw& s = scene.string_draws[i];
    if (s.enabled && on_sign(scene, s.x, s.y)) {
        draw_text_marks(sink, s, scene.dot_pitch, i == scene.selected_text);
        if (text_file_missing(texts, s.text_source)) mark_unshown_text(sink, s, scene.dot_pitch);
    } else {
        draw_text_element(screen.dot_fonts, sink, grid, margin, s, i == scene.selected_text);
    }
}

// The marks of the texts on the sign that the card cannot show, but the
// selected one's.
void draw_unshown_marks(const Scene& scene, const Text_files& texts, Dot_sink& sink) {
    for (int i = 0; i < string_draw_count; ++i) {
        const string_draw& s = scene.string_draws[i];
        if (i != scene.selected_text && s.enabled && on_sign(scene, s.x, s.y) &&
            text_file_missing(texts, s.text_source))
            mark_unshown_text(sink, s, scene.dot_pitch);
    }
}

// The frame's lower part: the sign's LEDs in range, then the elements on
// no board (the palette, the margins, an element dragged off the sign) in
// window pixels, shape and digit elements of groups 0..19 first, then
// texts, the selected ones left out (they are drawn over it). The sign is
// kept out of their reach, so it shows only what the card lights.
void draw_lower_part(const Scene& scene, const Led_framebuffer& sign_leds, const Text_files& texts,
                     const Screen& screen, const Pixel_box& sign, const Led_range& leds) {
    Dot_sink& sink = screen.sink;
    Editor_dots grid = editor_dots(sink, scene), margin = margin_dots(sink, scene);
    draw_sign_leds(scene, sign_leds, sink, grid, leds);
    grid.keep_out(sign.left, sign.top, sign.right, sign.bottom);
    margin.keep_out(sign.left, sign.top, sign.right, sign.bottom);
    const Digit_unit* chosen = selected_digit(scene);
    for (int g = 0; g < digit_groups_in_use; ++g) {
        for (int i = 0; i < digit_group_size; ++i) {
            const Digit_unit& d = scene.digit_at(g, i);
            if (&d == chosen || (d.enabled && on_sign(scene, d.x, d.y))) continue;   // drawn later, or with the sign
            draw_digit_unit(grid, margin, d, false);
        }
    }
    for (int i = 0; i < string_draw_count; ++i)
        if (i != scene.selected_text) draw_text(scene, texts, screen, grid, margin, i);
}

// The lower part's records are kept and compared as bytes.
static_assert(std::is_trivially_copyable_v<Digit_unit> && std::is_trivially_copyable_v<string_draw>);

}  // namespace

// What the sink's layer holds: the lower part as of the last frame that
// drew into it, so a frame can tell what changed. Compared and copied
// record by record; the copies are fixed arrays, the sign's LEDs a
// framebuffer that grows only with the sign.
class Lower_part {
public:
    enum Change { same, leds, whole };

    // How the lower part of scene (a sign of w x h LEDs, painted into
    // sign_leds) differs from the layer: not at all, in some LEDs only
    // (*changed: the LEDs that differ, within the sign), or otherwise.
    Change compare(const Scene& scene, const Led_framebuffer& sign_leds, const Text_files& files,
                   const Dot_sink& sink, int w, int h, Led_range* changed) const {
        if (!valid_ || sink_ != &sink || !same_view(scene, files, w, h)) return whole;
        for (int n = 0; n < digit_groups_in_use * digit_group_size; ++n)
            if (n != chosen_digit_ && std::memcmp(static_cast<const void*>(&digits_[n]), static_cast<const void*>(&scene.digit_units[n]),
                                                  sizeof digits_[n]) != 0)
                return whole;
        for (int i = 0; i < string_draw_count; ++i)
            if (i != scene.selected_text &&
                std::memcmp(static_cast<const void*>(&texts_[i]), static_cast<const void*>(&scene.string_draws[i]), sizeof texts_[i]) != 0)
                return whole;
        bool any = false;
        for (int y = 0; y < h; ++y) {
            const uint8_t* now = sign_leds.row(y);
            const uint8_t* was = leds_.row(y);
            if (std::memcmp(now, was, static_cast<size_t>(w)) == 0) continue;
            int x0 = 0, x1 = w - 1;
            while (now[x0] == was[x0]) ++x0;
            while (now[x1] == was[x1]) --x1;
            if (!any) *changed = {x0, y, x1, y};
            changed->x0 = std::min<int64_t>(changed->x0, x0);
            changed->x1 = std::max<int64_t>(changed->x1, x1);
            changed->y1 = y;
            any = true;
        }
        return any ? leds : same;
    }

    // The layer now holds scene's lower part.
    // in_layer: the sink's layer holds it too (else it was drawn into the
    // frame only).
    void take(const Scene& scene, const Led_framebuffer& sign_leds, const Text_files& files, const Dot_sink& sink,
              int w, int h, bool in_layer) {
        sink_ = &sink;
        in_layer_ = in_layer;
        std::memcpy(static_cast<void*>(digits_), static_cast<const void*>(scene.digit_units), sizeof digits_);
        std::memcpy(static_cast<void*>(texts_), static_cast<const void*>(scene.string_draws), sizeof texts_);
        const Digit_unit* d = selected_digit(scene);
        chosen_digit_ = d ? static_cast<int>(d - scene.digit_units) : -1;
        chosen_text_ = scene.selected_text;
        pitch_ = scene.dot_pitch;
        view_w_ = scene.view_width, view_h_ = scene.view_height;
        board_x_ = scene.board_at(0, 0).x, board_y_ = scene.board_at(0, 0).y;
        w_ = w, h_ = h;
        files_[0] = files.present[0], files_[1] = files.present[1];
        take_leds(sign_leds);
        valid_ = true;
    }

    // The layer now holds the sign's LEDs as painted.
    void take_leds(const Led_framebuffer& sign_leds) {
        leds_.resize(sign_leds.width(), sign_leds.height());
        for (int y = 0; y < sign_leds.height(); ++y)
            std::memcpy(leds_.row(y), sign_leds.row(y), static_cast<size_t>(sign_leds.width()));
    }

    void forget() { valid_ = false; }
    bool in_layer() const { return in_layer_; }

private:
    bool same_view(const Scene& scene, const Text_files& files, int w, int h) const {
        const Digit_unit* d = selected_digit(scene);
        return pitch_ == scene.dot_pitch && view_w_ == scene.view_width && view_h_ == scene.view_height &&
               board_x_ == scene.board_at(0, 0).x && board_y_ == scene.board_at(0, 0).y && w_ == w && h_ == h &&
               chosen_digit_ == (d ? static_cast<int>(d - scene.digit_units) : -1) &&
               chosen_text_ == scene.selected_text && files_[0] == files.present[0] &&
               files_[1] == files.present[1];
    }

    bool valid_ = false;
    bool in_layer_ = false;
    const Dot_sink* sink_ = nullptr;   // whose layer
    Digit_unit digits_[digit_groups_in_use * digit_group_size];
    string_draw texts_[string_draw_count];
    int chosen_digit_ = -1, chosen_text_ = -1;
    int pitch_ = 0, view_w_ = 0, view_h_ = 0, board_x_ = 0, board_y_ = 0, w_ = 0, h_ = 0;
    bool files_[2] = {};
    Led_framebuffer leds_{0, 0};
};

Frame_cache::Frame_cache() : lower_part(new Lower_part) {}
Frame_cache::~Frame_cache() = default;

namespace {

// The time from which the layer pays: showing it copies the whole drawing
// area, about 1.5 ms in software GL.
constexpr double layer_threshold_ms = 3.0;

void timed_lower_part(Frame_cache& cache, const Scene& scene, const Text_files& texts, const Screen& screen,
                      const Pixel_box& sign, const Led_range& leds) {
    const auto t0 = std::chrono::steady_clock::now();
    draw_lower_part(scene, cache.sign_leds, texts, screen, sign, leds);
    cache.lower_part_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

void set_layer_use(Frame_cache& cache, Layer_use use) { cache.layer_use = use; }

void draw_display(Frame_cache& cache, const Screen& screen, const Scene& scene, const Ui_state& ui,
                  const Text_files& texts) {
    const Input_state& input = ui.input;
    cache.pending = false;
    Led_framebuffer& sign_leds = cache.sign_leds;
    Lower_part& lower_part = *cache.lower_part;
    const Layer_use layer_use = cache.layer_use;
    Dot_sink& sink = screen.sink;

    // A clean frame: cleared, lighting and texturing off, lines 1 pixel
    // wide. What is drawn later lies on top of what is drawn earlier.
    sink.begin_frame();

    // The sign: every element on a board as the card lights it.
    int w, h;
    output_screen_size(scene, &w, &h);
    sign_leds.resize(w, h);
    paint_sign(screen.dot_fonts, scene, sign_leds, texts);
    const Pixel_box sign = sign_box(scene, w, h);
    const Led_range leds = window_leds(scene, w, h);

    // The lower part: the sign's LEDs, then the elements on no board but the
    // selected ones. Kept in the sink's layer between frames where it has
    // one, and redrawn there only where it changed.
    // A lower part that draws in less time than showing the layer takes is
    // drawn straight into every frame.
    const bool layer_pays = layer_use == Layer_use::always ||
                            (layer_use == Layer_use::when_it_pays && cache.lower_part_ms >= layer_threshold_ms);
    if (sink.has_layer() && layer_pays) {
        Led_range changed;
        const Lower_part::Change change = lower_part.compare(scene, sign_leds, texts, sink, w, h, &changed);
        if (change == Lower_part::whole) {
            // A change under everything (a zoom, a new selection, rows and
            // columns): drawn straight into the frame, as fast as ever, and
            // remembered. The next frame like it makes the layer.
            timed_lower_part(cache, scene, texts, screen, sign, leds);
            lower_part.take(scene, sign_leds, texts, sink, w, h, false);
        } else if (!lower_part.in_layer()) {
            sink.begin_layer(0, 0, scene.view_width - 1, scene.view_height - 1);
            timed_lower_part(cache, scene, texts, screen, sign, leds);
            sink.end_layer();
            lower_part.take(scene, sign_leds, texts, sink, w, h, true);
            sink.show_layer();
        } else {
            if (change == Lower_part::leds) {
                // The changed LEDs' pixels, a dot more on each side, within
                // the sign (where nothing but LEDs and the marks of texts
                // without their file are drawn).
                const led_unit& u = scene.board_at(0, 0);
                const int64_t p = scene.dot_pitch, bx = static_cast<uint32_t>(u.x), by = static_cast<uint32_t>(u.y);
                const Pixel_box box{std::max(sign.left, bx + (changed.x0 - 1) * p - p),
                                    std::max(sign.top, by + (changed.y0 - 1) * p - p),
                                    std::min(sign.right, bx + (changed.x1 + 1) * p + p),
                                    std::min(sign.bottom, by + (changed.y1 + 1) * p + p)};
                const Led_range redraw{std::max(leds.x0, changed.x0 - 3), std::max(leds.y0, changed.y0 - 3),
                                       std::min(leds.x1, changed.x1 + 3), std::min(leds.y1, changed.y1 + 3)};
                auto pixel = [](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, -1, 1 << 30)); };
                sink.begin_layer(pixel(box.left), pixel(box.top), pixel(box.right), pixel(box.bottom));
                Editor_dots grid = editor_dots(sink, scene);
                draw_sign_leds(scene, sign_leds, sink, grid, redraw);
                draw_unshown_marks(scene, texts, sink);
                sink.end_layer();
                lower_part.take_leds(sign_leds);
            }
            sink.show_layer();
        }
    } else {
        timed_lower_part(cache, scene, texts, screen, sign, leds);
        lower_part.forget();
    }

    // The selected elements on no board, over the rest.
    {
        Editor_dots grid = editor_dots(sink, scene), margin = margin_dots(sink, scene);
        grid.keep_out(sign.left, sign.top, sign.right, sign.bottom);
        margin.keep_out(sign.left, sign.top, sign.right, sign.bottom);
        sink.set_texturing(false);
        if (const Digit_unit* d = selected_digit(scene))
            if (!(d->enabled && on_sign(scene, d->x, d->y))) draw_digit_unit(grid, margin, *d, true);
        if (scene.selected_text < string_draw_count) draw_text(scene, texts, screen, grid, margin, scene.selected_text);
    }

    // The outlines of the boards in use, over the sign: the others dim,
    // board (0, 0) last, in its colour (dashed and labelled when selected).
    sink.set_texturing(false);
    for (int r = 0; r < output_rows(scene); ++r)
        for (int c = 0; c < output_columns(scene); ++c)
            if (r || c) draw_board_outline_dim(sink, scene.board_at(r, c), scene.dot_pitch);
    if (scene.selected_board_col == 0 && scene.selected_board_row == 0)
        draw_board_outline_selected(screen, scene.board_at(0, 0), scene.dot_pitch);
    else
        draw_board_outline(sink, scene.board_at(0, 0), scene.dot_pitch);

    // Measured rectangles, over the sign and the elements.
    const int overlays = scene.graph_count < graph_draw_count ? scene.graph_count : graph_draw_count;
    for (int k = 0; k < overlays; ++k) {
        if (!scene.graph_draws[k].in_use) continue;
        if (k == scene.selected_graph)
            draw_overlay_selected(screen, scene.graph_draws[k], scene.dot_pitch);
        else
            draw_overlay(screen, scene.graph_draws[k], scene.dot_pitch);
    }

    // The menu entries, which have no picture of their own otherwise.
    draw_menu_entries(screen, input, scene);

    // The coordinate readout beside the mouse, over the scene.
    char readout[1024];
    if (format_readout(scene.mouse_x, scene.mouse_y, scene.dot_pitch, readout, sizeof readout)) {
        char16_t wide[1024];
        to_wide(readout, wide, 1024);
        sink.set_texturing(false);
        sink.set_colour(1, 1, 1);
        draw_label(screen, wide, scene.mouse_x, scene.mouse_y - 20, readout_wrap, readout_line_height);
    }

    // The status line and the help, over the readout and everything else.
    draw_status_and_help(screen, input, ui.status, scene);

    // Present the frame.
    sink.end_frame();
}

void reshape_view(Frame_cache& cache, Dot_sink& sink, Scene& scene, int width, int height) {
    View_projection v = view_projection(width, height);
    scene.view_width = v.viewport_w;
    scene.view_height = v.viewport_h;
    sink.set_projection(v);
    note_change(cache);
}
