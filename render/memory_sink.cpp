#include "render/memory_sink.h"

void Memory_sink::begin_frame() {
    ++frames_begun;
    texturing = false;
}
void Memory_sink::end_frame() { ++frames_ended; }

void Memory_sink::set_projection(const View_projection& v) {
    has_projection = true;
    projection = v;
}

void Memory_sink::set_colour(float r, float g, float b) {
    colour[0] = clamp_unit(r);
    colour[1] = clamp_unit(g);
    colour[2] = clamp_unit(b);
}

void Memory_sink::set_point_size(float size) { point_size = size; }

void Memory_sink::point(float x, float y) {
    dots.push_back({x, y, point_size, colour[0], colour[1], colour[2]});
}

void Memory_sink::dot(float x, float y, float size, const float* rgb) {
    point_size = size;
    if (rgb) set_colour(rgb[0], rgb[1], rgb[2]);
    point(x, y);
}

void Memory_sink::line_loop(const float* xy, int n) {
    Loop loop{std::vector<float>(xy, xy + 2 * n), colour[0], colour[1], colour[2],
              stipple, stipple_factor, stipple_pattern};
    loops.push_back(std::move(loop));
}

void Memory_sink::set_line_stipple(bool on, int factor, uint16_t pattern) {
    stipple = on;
    stipple_factor = factor;
    stipple_pattern = pattern;
}

void Memory_sink::lines(const float* xy, int n) {
    segments.push_back({std::vector<float>(xy, xy + 2 * n), colour[0], colour[1], colour[2], stipple});
}

void Memory_sink::set_texturing(bool on) { texturing = on; }

uint32_t Memory_sink::make_texture(const uint8_t* luminance_alpha, int w, int h) {
    textures.push_back({w, h, std::vector<uint8_t>(luminance_alpha, luminance_alpha + 2 * w * h)});
    return static_cast<uint32_t>(textures.size());
}

void Memory_sink::glyph_quad(uint32_t texture, float x0, float y0, float x1, float y1) {
    blending = true;
    quads.push_back({texture, x0, y0, x1, y1, colour[0], colour[1], colour[2], texturing});
}

void Memory_sink::clear() {
    dots.clear();
    loops.clear();
    segments.clear();
    quads.clear();
    frames_begun = frames_ended = 0;
}
