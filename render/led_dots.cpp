#include "render/led_dots.h"

#include "render/dot_sink.h"
#include "scene/pools.h"
#include "scene/view_state.h"

namespace {

// Pixels beyond the drawing area that a dot can still reach (half of the
// largest point size, rounded up generously).
constexpr int64_t reach = 256;

struct Keep_out {
    int64_t left = 1, top = 1, right = 0, bottom = 0;   // none
} keep_out;

void plot_sized(uint8_t colour, int32_t x, int32_t y, float size);

class Editor_target final : public Draw_target {
public:
    // Point size in pixels; 0: dot_pitch.
    explicit Editor_target(int point) : point_(point) {}

    void light(uint8_t colour, int32_t x, int32_t y) override {
        const int64_t size = point_ ? point_ : dot_pitch;   // a point's pixels lie within its size of the centre
        if (keep_out.left <= keep_out.right && x + size >= keep_out.left && x - size <= keep_out.right &&
            y + size >= keep_out.top && y - size <= keep_out.bottom)
            return;
        plot_sized(colour, x, y, static_cast<float>(size));
    }

private:
    int point_;
};

Editor_target editor(0), margin(2);

}  // namespace

namespace {

void plot_sized(uint8_t colour, int32_t x, int32_t y, float size) {
    // Red, green and yellow (drawn as (10, 1, 0), which GL clamps to (1, 1, 0)).
    static const float table[3][3] = {{1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    const float* rgb = table[card_colour(colour)];
    // A point of this size covers at most size/2 pixels either side.
    const int64_t half = static_cast<int64_t>(size) + 1;
    if (int64_t{x} + half < 0 || int64_t{y} + half < 0 || int64_t{x} - half > view_width ||
        int64_t{y} - half > view_height)
        return;
    dot_sink().dot(static_cast<float>(x), static_cast<float>(y), size, rgb);
}

}  // namespace

void plot_dot(uint8_t colour, int32_t x, int32_t y) {
    plot_sized(colour, x, y, static_cast<float>(dot_pitch));
}

void set_editor_keep_out(int64_t left, int64_t top, int64_t right, int64_t bottom) {
    keep_out = Keep_out{left, top, right, bottom};
}

namespace {

Draw_target& refreshed(Editor_target& t, int32_t pitch) {
    t.pitch = pitch;
    t.clip_left = -reach;
    t.clip_top = -reach;
    t.clip_right = int64_t{view_width} + reach;
    t.clip_bottom = int64_t{view_height} + reach;
    return t;
}

}  // namespace

Draw_target& editor_target() { return refreshed(editor, dot_pitch); }

Draw_target& margin_target() { return refreshed(margin, 2); }
