// The GL dot sink. In batched mode it collects a frame's dots into flat
// position and colour arrays and draws each run of equal point size with
// one glDrawArrays call; anything else (outline, texture, state change,
// end of frame) closes the run first, so the picture and its drawing order
// are those of plain per-dot drawing. Per-dot mode draws every dot with its
// own glBegin/glEnd (kept for comparison in the benchmark).
#pragma once

#include <vector>

#include "render/dot_sink.h"

class Gl_sink final : public Dot_sink {
public:
    using Present = void (*)();

    // present is called at the end of each frame (buffer swap); may be null.
    explicit Gl_sink(Present present, bool batched = true);

    void begin_frame() override;
    void end_frame() override;
    void set_projection(const View_projection& v) override;
    void set_colour(float r, float g, float b) override;
    void set_point_size(float size) override;
    void point(float x, float y) override;
    void line_loop(const float* xy, int n) override;
    void set_line_stipple(bool on, int factor, uint16_t pattern) override;
    void lines(const float* xy, int n) override;
    void set_texturing(bool on) override;
    uint32_t make_texture(const uint8_t* luminance_alpha, int w, int h) override;
    void glyph_quad(uint32_t texture, float x0, float y0, float x1, float y1) override;

    // Counters of the last completed frame, for benchmarks.
    long last_frame_dots() const { return last_dots_; }
    long last_frame_draw_calls() const { return last_calls_; }

private:
    void flush();

    Present present_;
    bool batched_;
    float colour_[3] = {1, 1, 1};
    float point_size_ = 1;
    // Current run: dots of one point size, in plotting order. The arrays
    // keep their capacity from frame to frame.
    std::vector<float> positions_;   // x, y per dot
    std::vector<float> colours_;     // r, g, b per dot
    float run_size_ = 0;
    long dots_ = 0, calls_ = 0;
    long last_dots_ = 0, last_calls_ = 0;
};
