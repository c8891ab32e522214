#include "render/overlay.h"

#include <cstdio>
#include <cstdlib>

#include "render/dot_sink.h"
#include "render/outline_font.h"
#include "scene/view_state.h"

namespace {

// Draws the absolute value of n as a green label at (left, baseline).
void dimension_label(const Screen& screen, int32_t n, int32_t left, int32_t baseline) {
    char text[24];
    std::snprintf(text, sizeof text, "%lld", std::llabs(static_cast<long long>(n)));
    char16_t wide[24];
    to_wide(text, wide, 24);
    draw_label(screen, wide, left, baseline, 500, 300);
}

void draw(const Screen& screen, const graph_draw& g, int pitch, bool selected) {
    Dot_sink& sink = screen.sink;
    sink.set_texturing(false);
    sink.set_colour(g.r, g.g, g.b);
    if (selected) sink.set_line_stipple(true, 2, 0xAAAA);

    // Coordinates wrap as unsigned 32-bit numbers, so a negative extent runs
    // left of or above the first corner.
    const uint32_t p = static_cast<uint32_t>(pitch);
    const uint32_t x = static_cast<uint32_t>(g.x), y = static_cast<uint32_t>(g.y);
    const uint32_t w = static_cast<uint32_t>(g.width), h = static_cast<uint32_t>(g.height);
    const uint32_t xr = x + p * w, yb = y + p * h;
    const float outline[8] = {float(x), float(y), float(xr), float(y),
                              float(xr), float(yb), float(x), float(yb)};
    sink.line_loop(outline, 4);

    if (g.width < overlay_wrapped_extent && g.height < overlay_wrapped_extent) {
        sink.set_colour(0, 1, 0);
        auto s32 = [](uint32_t v) { return static_cast<int32_t>(v); };
        dimension_label(screen, g.width, s32(x + w - 8), s32(y - 6));
        dimension_label(screen, g.height, s32(x - 20), s32(y + h + 4));
        // Extension and dimension lines; the gaps in the dimension lines sit
        // at x + width and y + height (raw dot counts taken as pixels).
        const float segments[32] = {
            float(x),      float(y - 20), float(x),          float(y - 5),
            float(xr),     float(y - 20), float(xr),         float(y - 3),
            float(x),      float(y - 10), float(x + w - 15), float(y - 10),
            float(x + w + 15), float(y - 10), float(xr),     float(y - 10),
            float(x - 20), float(y),      float(x - 5),      float(y),
            float(x - 20), float(yb),     float(x - 3),      float(yb),
            float(x - 10), float(y),      float(x - 10),     float(y + h - 15),
            float(x - 10), float(y + h + 15), float(x - 10), float(yb),
        };
        sink.set_line_stipple(true, 2, 0xAAAA);
        sink.lines(segments, 16);
    }
    sink.set_line_stipple(false, 2, 0xAAAA);
}

}  // namespace

void draw_overlay(const Screen& screen, const graph_draw& g, int pitch) { draw(screen, g, pitch, false); }

void draw_overlay_selected(const Screen& screen, const graph_draw& g, int pitch) { draw(screen, g, pitch, true); }
