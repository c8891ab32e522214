// The dot sink: the one narrow place where drawing leaves the editor. LED
// dots, outlines and frame state go through it; the GL sink turns them into
// batched GL calls, the memory sink records them for tests. Coordinates are
// window pixels (origin top-left, y down). The editor's main owns its GL
// sink, a test its memory sink; each draw routine is handed the sink it
// draws into.
#pragma once

#include <cstdint>

// Projection of one window pixel to one GL unit, origin top-left.
struct View_projection {
    int viewport_w, viewport_h;        // viewport at (0, 0)
    double left, right, bottom, top;   // orthographic bounds
    double near_z, far_z;
    double eye[3], centre[3], up[3];   // camera (gluLookAt)
};

// Projection for a window of width x height pixels; height 0 counts as 1.
View_projection view_projection(int width, int height);

// A block of the sign's LEDs to be drawn as one picture.
struct Led_block {
    const uint8_t* codes;    // colour code of the block's first LED; row y starts
                             // y * stride bytes further
    long stride;
    int columns, rows;       // LEDs across and down, each at least 1
    int64_t left, top;       // window pixel of the first LED's point
    int pitch;               // pixels from one LED to the next; each LED is a
                             // point of this size
    const uint8_t (*rgba)[4];   // colour of each code; alpha 0: the LED is not drawn
};

class Dot_sink {
public:
    virtual ~Dot_sink() = default;

    // Frame bracket: clear colour and depth, lighting off, push the
    // model-view matrix, texturing off, line width 1 ... pop and present.
    virtual void begin_frame() = 0;
    virtual void end_frame() = 0;

    virtual void set_projection(const View_projection& v) = 0;

    // Current colour (components clamped to 0..1) and point size (pixels).
    virtual void set_colour(float r, float g, float b) = 0;
    virtual void set_point_size(float size) = 0;

    // One dot at window pixel (x, y), z 0, in the current colour and size.
    virtual void point(float x, float y) = 0;

    // One LED dot: sets the point size and, unless rgb is null, the current
    // colour (already within 0..1), then draws the dot. The hot path of
    // the editor's LED dots, in one call.
    virtual void dot(float x, float y, float size, const float* rgb) = 0;

    // The block's LEDs, each exactly as dot(left + x * pitch, top + y *
    // pitch, pitch, its colour) would paint it. False when this sink
    // cannot (then the caller draws them as dots); the default cannot.
    virtual bool led_block(const Led_block& block) {
        (void)block;
        return false;
    }
    // Closed outline through n points (xy pairs), z 0, current colour.
    virtual void line_loop(const float* xy, int n) = 0;
    // Dashed lines: factor repeats of each bit of pattern (first bit lowest).
    virtual void set_line_stipple(bool on, int factor, uint16_t pattern) = 0;

    // Segments through n vertices taken in pairs, z 0, current colour.
    virtual void lines(const float* xy, int n) = 0;

    virtual void set_texturing(bool on) = 0;

    // A new texture from w x h luminance-alpha texel pairs (row 0 is the
    // bottom row), linear filtering; returns its name (never 0 on success).
    virtual uint32_t make_texture(const uint8_t* luminance_alpha, int w, int h) = 0;

    // One glyph: texture drawn as a quad at z 1 over the pixel rectangle
    // (x0, y0)-(x1, y1), texture row 1 at y0, nearest filtering, blended by
    // its alpha and tinted with the current colour. Leaves blending on.
    virtual void glyph_quad(uint32_t texture, float x0, float y0, float x1, float y1) = 0;

    // The layer: an offscreen picture of the drawing area's size that keeps
    // the lower part of the frame from one frame to the next, so a frame
    // redraws only what changed under it. begin_layer directs drawing into
    // the layer, with the pixels of the window box (left, top)-(right,
    // bottom) (inclusive) cleared first and nothing drawn outside it;
    // end_layer directs drawing back to the frame; show_layer replaces the
    // frame's pixels with the layer's. The layer keeps its pixels until the
    // drawing area's size changes (it is then cleared). A sink without a
    // layer says so with has_layer() and ignores the rest.
    virtual bool has_layer() const { return false; }
    virtual void begin_layer(int left, int top, int right, int bottom) {
        (void)left, (void)top, (void)right, (void)bottom;
    }
    virtual void end_layer() {}
    virtual void show_layer() {}
};

inline float clamp_unit(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }
