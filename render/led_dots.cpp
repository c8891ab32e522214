#include "render/led_dots.h"

#include "render/dot_sink.h"
#include "scene/view_state.h"

bool plot_dot(uint8_t colour, int32_t x, int32_t y) {
    Dot_sink& sink = dot_sink();
    float size;
    if (colour == led_highlight) {
        size = 2.0f;
        sink.set_colour(1.0f, 0.2f, 0.0f);
    } else {
        size = static_cast<float>(dot_pitch);
        switch (colour) {
            case led_red: sink.set_colour(1, 0, 0); break;
            case led_green: sink.set_colour(0, 1, 0); break;
            case led_yellow: sink.set_colour(10, 1, 0); break;   // clamps to (1, 1, 0)
            default: break;                                      // keep the current colour
        }
    }
    sink.set_point_size(size);
    // A point of this size covers at most size/2 pixels either side.
    if (x + size < 0 || y + size < 0 || x - size > view_width || y - size > view_height)
        return false;
    sink.point(static_cast<float>(x), static_cast<float>(y));
    return false;
}
