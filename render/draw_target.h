// Where the dot primitives draw. A target lights one dot at a time in its
// own units (window pixels for the editor, LEDs for a framebuffer), says how
// far apart the dots of a glyph or a digit picture lie, and which region can
// show anything at all, so that primitives skip work outside it.
#pragma once

#include <cstdint>

class Draw_target {
public:
    virtual ~Draw_target() = default;

    // Lights the dot at (x, y) with an LED colour code (0 red, 1 green,
    // 2 yellow, 255 highlight; any other code keeps the colour in force).
    virtual void light(uint8_t colour, int32_t x, int32_t y) = 0;

    // Units between neighbouring dots of a glyph or a digit picture: the
    // editor's dot_pitch in window pixels, 1 on an LED framebuffer.
    int32_t pitch = 1;

    // Inclusive region outside which no lit dot can show. Primitives may
    // skip dots outside it; they still light at least one dot of a figure,
    // so a target's colour state ends as if the whole figure was drawn.
    int64_t clip_left = INT32_MIN, clip_top = INT32_MIN;
    int64_t clip_right = INT32_MAX, clip_bottom = INT32_MAX;

    bool clip_holds(int64_t x0, int64_t y0, int64_t x1, int64_t y1) const {
        return x1 >= clip_left && y1 >= clip_top && x0 <= clip_right && y0 <= clip_bottom;
    }
};

// Draws through another target with a pitch of its own (the palette's
// elements keep pitch 2 whatever the zoom).
class Pitch_target final : public Draw_target {
public:
    Pitch_target(Draw_target& inner, int32_t pitch_) : inner_(inner) {
        pitch = pitch_;
        clip_left = inner.clip_left, clip_top = inner.clip_top;
        clip_right = inner.clip_right, clip_bottom = inner.clip_bottom;
    }
    void light(uint8_t colour, int32_t x, int32_t y) override { inner_.light(colour, x, y); }

private:
    Draw_target& inner_;
};
