#include "app/frame.h"

#include <cstdint>

#include "app/diag.h"
#include "render/dot_sink.h"
#include "scene/view_state.h"

namespace {
bool pending = true;   // the first pass always draws
}

void note_change() { pending = true; }
bool frame_pending() { return pending; }

bool format_readout(int mx, int my, int pitch, char* buf, size_t cap) {
    int64_t dx = static_cast<int64_t>(mx) - 274;
    int64_t dy = static_cast<int64_t>(my) - 164;
    if (dx <= 0 || dy <= 0) return false;
    if (pitch < 1) pitch = 1;   // never divide by zero, whatever the caller passes
    return format_text(buf, cap, "[%d , %d]", static_cast<int>(dx / pitch),
                       static_cast<int>(dy / pitch)) >= 0;
}

void draw_display() {
    pending = false;
    Dot_sink& sink = dot_sink();

    // 1-2. Clear, lighting off, push the model-view matrix, texturing off,
    //      line width 1.
    sink.begin_frame();

    // 3-4. Shape, digit and text elements: drawn here once their draw
    //      routines exist.

    // 5. Screen outline of board (0, 0).
    sink.set_texturing(false);

    // 6. Measured-rectangle overlays.

    // 7. Coordinate readout beside the mouse.
    char readout[1024];
    if (format_readout(mouse_x, mouse_y, dot_pitch, readout, sizeof readout)) {
        sink.set_texturing(false);
        sink.set_colour(1, 1, 1);
    }

    // 8. Pop the matrix and present.
    sink.end_frame();
}

void reshape_view(int width, int height) {
    dot_sink().set_projection(view_projection(width, height));
    note_change();
}
