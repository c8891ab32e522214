#include "render/dot_sink.h"

namespace {

class Null_sink final : public Dot_sink {
public:
    void begin_frame() override {}
    void end_frame() override {}
    void set_projection(const View_projection&) override {}
    void set_colour(float, float, float) override {}
    void set_point_size(float) override {}
    void point(float, float) override {}
    void dot(float, float, float, const float*) override {}
    void line_loop(const float*, int) override {}
    void set_line_stipple(bool, int, uint16_t) override {}
    void lines(const float*, int) override {}
    void set_texturing(bool) override {}
    uint32_t make_texture(const uint8_t*, int, int) override { return 0; }
    void glyph_quad(uint32_t, float, float, float, float) override {}
};

Null_sink null_sink;
Dot_sink* current_sink = &null_sink;

}  // namespace

Dot_sink& dot_sink() { return *current_sink; }

void set_dot_sink(Dot_sink* sink) { current_sink = sink ? sink : &null_sink; }

View_projection view_projection(int width, int height) {
    if (height == 0) height = 1;
    View_projection v{};
    v.viewport_w = width;
    v.viewport_h = height;
    v.left = 0;
    v.right = width;
    v.bottom = height;   // bottom below top: y grows downwards
    v.top = 0;
    v.near_z = -100;
    v.far_z = 200;
    v.eye[0] = 0, v.eye[1] = 0, v.eye[2] = 30;
    v.centre[0] = 0, v.centre[1] = 0, v.centre[2] = 10;
    v.up[0] = 0, v.up[1] = 1, v.up[2] = 0;
    return v;
}
