#include "render/led_dots.h"

#include "render/dot_sink.h"
#include "scene/view_state.h"

namespace {

// Pixels beyond the drawing area that a dot can still reach (half of the
// largest point size, rounded up generously).
constexpr int64_t reach = 256;

Draw_target* redirect = nullptr;   // see redirect_editor_dots

class Editor_target final : public Draw_target {
public:
    void light(uint8_t colour, int32_t x, int32_t y) override {
        if (redirect)
            redirect->light(colour, x, y);
        else
            plot_dot(colour, x, y);
    }
};

Editor_target editor;

}  // namespace

bool plot_dot(uint8_t colour, int32_t x, int32_t y) {
    // Red, green, yellow (drawn as (10, 1, 0), which GL clamps to (1, 1, 0))
    // and the orange highlight.
    static const float table[4][3] = {{1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0.2f, 0}};
    const float* rgb = colour <= led_yellow        ? table[colour]
                       : colour == led_highlight ? table[3]
                                                 : nullptr;   // keep the current colour
    const float size = colour == led_highlight ? 2.0f : static_cast<float>(dot_pitch);
    Dot_sink& sink = dot_sink();
    // A point of this size covers at most size/2 pixels either side.
    if (x + size < 0 || y + size < 0 || x - size > view_width || y - size > view_height) {
        if (rgb) sink.set_colour(rgb[0], rgb[1], rgb[2]);
        sink.set_point_size(size);
        return false;
    }
    sink.dot(static_cast<float>(x), static_cast<float>(y), size, rgb);
    return false;
}

void redirect_editor_dots(Draw_target* target) { redirect = target; }

Draw_target& editor_target() {
    editor.pitch = dot_pitch;
    if (redirect) {
        editor.clip_left = redirect->clip_left, editor.clip_top = redirect->clip_top;
        editor.clip_right = redirect->clip_right, editor.clip_bottom = redirect->clip_bottom;
        return editor;
    }
    editor.clip_left = -reach;
    editor.clip_top = -reach;
    editor.clip_right = int64_t{view_width} + reach;
    editor.clip_bottom = int64_t{view_height} + reach;
    return editor;
}
