// A sink that records what a frame draws, so tests can see exactly which
// dots were lit and which outlines drawn.
#pragma once

#include <vector>

#include "render/dot_sink.h"

class Memory_sink final : public Dot_sink {
public:
    struct Dot {
        float x, y, size;
        float r, g, b;
    };
    struct Loop {
        std::vector<float> xy;
        float r, g, b;
        bool stippled;
        int factor;
        uint16_t pattern;
    };

    void begin_frame() override;
    void end_frame() override;
    void set_projection(const View_projection& v) override;
    void set_colour(float r, float g, float b) override;
    void set_point_size(float size) override;
    void point(float x, float y) override;
    void dot(float x, float y, float size, const float* rgb) override;
    void line_loop(const float* xy, int n) override;
    void set_line_stipple(bool on, int factor, uint16_t pattern) override;
    void lines(const float* xy, int n) override;
    void set_texturing(bool on) override;
    uint32_t make_texture(const uint8_t* luminance_alpha, int w, int h) override;
    void glyph_quad(uint32_t texture, float x0, float y0, float x1, float y1) override;

    struct Segments {
        std::vector<float> xy;
        float r, g, b;
        bool stippled;
    };
    struct Texture {
        int w, h;
        std::vector<uint8_t> texels;   // luminance-alpha pairs
    };
    struct Quad {
        uint32_t texture;
        float x0, y0, x1, y1;
        float r, g, b;
        bool texturing;
    };

    // Forgets everything recorded (the current state stays).
    void clear();

    std::vector<Dot> dots;
    std::vector<Loop> loops;
    std::vector<Segments> segments;
    std::vector<Texture> textures;   // texture name n is textures[n - 1]
    std::vector<Quad> quads;
    bool blending = false;
    int frames_begun = 0;
    int frames_ended = 0;
    bool has_projection = false;
    View_projection projection{};
    bool texturing = false;

    float colour[3] = {1, 1, 1};
    float point_size = 1;
    bool stipple = false;
    int stipple_factor = 1;
    uint16_t stipple_pattern = 0xFFFF;
};
