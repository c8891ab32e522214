// LED dots of the editor's window: an Editor_dots target lights each dot
// of the primitives as one square point centred on a window pixel, through
// the dot sink. The frame makes its targets from the scene's view; nothing
// here keeps state between frames.
#pragma once

#include <cstdint>

#include "render/draw_target.h"
#include "scene/scene.h"

class Dot_sink;

// LED colour codes.
enum : uint8_t {
    led_red = 0,
    led_green = 1,
    led_yellow = 2,
    led_highlight = 255,   // a code of stored scenes; shown red, as the card shows it
};

// The editor's window as a draw target: units are window pixels, glyph
// and digit dots lie `pitch` pixels apart, each dot is a point `point`
// pixels wide in the colour the card gives its code (card_colour: 1 green,
// 2 yellow, every other code red), so no dot depends on what was drawn
// before it. Dots wholly outside the drawing area (view_w x view_h) are
// dropped; the picture is the same.
class Editor_dots final : public Draw_target {
public:
    Editor_dots(Dot_sink& sink, int32_t pitch, int32_t point, int32_t view_w, int32_t view_h);

    void light(uint8_t colour, int32_t x, int32_t y) override;

    // Keeps the target off a region of window pixels (the sign, while the
    // elements that lie on no board are drawn): a dot whose point would
    // reach into [left, right] x [top, bottom] is dropped. No region: pass
    // left > right.
    void keep_out(int64_t left, int64_t top, int64_t right, int64_t bottom);

private:
    Dot_sink* sink_;
    int32_t point_, view_w_, view_h_;
    int64_t out_left_ = 1, out_top_ = 1, out_right_ = 0, out_bottom_ = 0;
};

// The target for what lies on the dot grid: dots of dot_pitch pixels,
// dot_pitch apart, clipped to the scene's drawing area.
Editor_dots editor_dots(Dot_sink& sink, const Scene& scene);

// The target for the palette and the margins (outside the dot grid): dots
// 2 pixels apart and 2 pixels wide whatever the zoom, so they keep their
// place and look.
Editor_dots margin_dots(Dot_sink& sink, const Scene& scene);
