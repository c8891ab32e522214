#include "render/led_dots.h"

#include "render/dot_sink.h"
#include "scene/pools.h"

namespace {

// Pixels beyond the drawing area that a dot can still reach (half of the
// largest point size, rounded up generously).
constexpr int64_t reach = 256;

}  // namespace

Editor_dots::Editor_dots(Dot_sink& sink, int32_t pitch_, int32_t point, int32_t view_w, int32_t view_h)
    : sink_(&sink), point_(point), view_w_(view_w), view_h_(view_h) {
    pitch = pitch_;
    clip_left = -reach;
    clip_top = -reach;
    clip_right = int64_t{view_w} + reach;
    clip_bottom = int64_t{view_h} + reach;
}

void Editor_dots::keep_out(int64_t left, int64_t top, int64_t right, int64_t bottom) {
    out_left_ = left, out_top_ = top, out_right_ = right, out_bottom_ = bottom;
}

void Editor_dots::light(uint8_t colour, int32_t x, int32_t y) {
    const int64_t size = point_;   // a point's pixels lie within its size of the centre
    if (out_left_ <= out_right_ && x + size >= out_left_ && x - size <= out_right_ && y + size >= out_top_ &&
        y - size <= out_bottom_)
        return;
    // A point of this size covers at most size/2 pixels either side.
    const int64_t half = size + 1;
    if (int64_t{x} + half < 0 || int64_t{y} + half < 0 || int64_t{x} - half > view_w_ ||
        int64_t{y} - half > view_h_)
        return;
    // Red, green and yellow (drawn as (10, 1, 0), which GL clamps to (1, 1, 0)).
    static const float table[3][3] = {{1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    sink_->dot(static_cast<float>(x), static_cast<float>(y), static_cast<float>(size), table[card_colour(colour)]);
}

Editor_dots editor_dots(Dot_sink& sink, const Scene& scene) {
    return Editor_dots(sink, scene.dot_pitch, scene.dot_pitch, scene.view_width, scene.view_height);
}

Editor_dots margin_dots(Dot_sink& sink, const Scene& scene) {
    return Editor_dots(sink, 2, 2, scene.view_width, scene.view_height);
}
