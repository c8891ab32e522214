#include "app/frame.h"

#include <cstdint>

#include "platform/platform.h"
#include "render/bitmap_font.h"
#include "render/board_outline.h"
#include "render/dot_sink.h"
#include "render/outline_font.h"
#include "render/overlay.h"
#include "render/shapes.h"
#include "scene/pools.h"
#include "scene/view_state.h"
#include "ui/menus.h"

namespace {
bool pending = true;   // the first pass always draws
}

void note_change() { pending = true; }
void reset_frame_state() { pending = true; }
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

    // 3. Shape and digit elements of groups 0..19.
    for (int g = 0; g < digit_groups_in_use; ++g) {
        for (int i = 0; i < digit_group_size; ++i) {
            Digit_unit& d = digit_at(g, i);
            if (i == selected_digit_col && g == selected_digit_row)
                draw_digit_unit_selected(d);
            else
                draw_digit_unit(d);
        }
    }

    // 4. Text elements.
    for (int i = 0; i < string_draw_count; ++i) {
        if (i == selected_text)
            draw_text_element_selected(string_draws[i]);
        else
            draw_text_element(string_draws[i]);
    }

    // 5. Screen outline of board (0, 0).
    sink.set_texturing(false);
    if (selected_board_col == 0 && selected_board_row == 0)
        draw_board_outline_selected(board_at(0, 0));
    else
        draw_board_outline(board_at(0, 0));

    // 6. Measured-rectangle overlays.
    const int overlays = graph_count < graph_draw_count ? graph_count : graph_draw_count;
    for (int k = 0; k < overlays; ++k) {
        if (!graph_draws[k].in_use) continue;
        if (k == selected_graph)
            draw_overlay_selected(graph_draws[k]);
        else
            draw_overlay(graph_draws[k]);
    }

    // The menu entries, which have no picture of their own otherwise.
    draw_menu_entries();

    // 7. Coordinate readout beside the mouse.
    char readout[1024];
    if (format_readout(mouse_x, mouse_y, dot_pitch, readout, sizeof readout)) {
        char16_t wide[1024];
        to_wide(readout, wide, 1024);
        sink.set_texturing(false);
        sink.set_colour(1, 1, 1);
        draw_label(wide, mouse_x, mouse_y - 20, 289, 225);
    }

    // 8. Pop the matrix and present.
    sink.end_frame();
}

void reshape_view(int width, int height) {
    View_projection v = view_projection(width, height);
    view_width = v.viewport_w;
    view_height = v.viewport_h;
    dot_sink().set_projection(v);
    note_change();
}
