#include "render/led_dots.h"

#include "render/dot_sink.h"
#include "scene/view_state.h"

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
