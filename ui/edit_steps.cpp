#include "ui/edit_steps.h"

#include <cstring>

#include "scene/status_line.h"
#include "scene/view_state.h"
#include "ui/menus.h"
#include "ui/mouse.h"

void start_editor_history(Edit_history& history, Status_line& status, const Scene& scene) {
    if (!history.start(scene))
        status.set_failure("undo: no memory for the undo history; edits cannot be undone");
}

namespace {

// A rectangle open in drawing mode follows the mouse until its second
// corner; with drawing mode off it stands still, as an edit like others.
bool rectangle_open(const Input_state& in) { return in.draw_mode && (in.corner_clicks & 1); }

bool gesture_open(const Input_state& in) {
    return in.board_grabbed || in.digit_grabbed || in.text_grabbed || in.graph_grabbed || in.menu_grabbed ||
           in.window_dragging || rectangle_open(in);
}

// Drops an unfinished gesture: the scene goes back to the last step and
// nothing stays held.
bool drop_gesture(Ui_state& ui, Scene& scene) {
    Input_state& in = ui.input;
    if (!gesture_open(in)) return false;
    ui.history.revert(scene);
    in.board_grabbed = in.digit_grabbed = in.text_grabbed = in.graph_grabbed = in.menu_grabbed = 0;
    in.window_dragging = 0;
    in.resize_edge = 0;
    if (rectangle_open(in)) ++in.corner_clicks;
    return true;
}

}  // namespace

void record_input_edit(Ui_state& ui, const Scene& scene, Edit_history::Step_kind kind, int target) {
    if (!gesture_open(ui.input)) ui.history.record(scene, kind, target);
}

void undo_edit(Ui_state& ui, Scene& scene) {
    if (drop_gesture(ui, scene)) return;
    if (!ui.history.undo(scene)) ui.status.note_status("undo: nothing to undo");
}

void redo_edit(Ui_state& ui, Scene& scene) {
    if (drop_gesture(ui, scene)) return;
    if (!ui.history.redo(scene)) ui.status.note_status("redo: nothing to redo");
}

namespace {

bool delete_digit(Scene& scene) {
    if (scene.selected_digit_col >= digit_group_size || scene.selected_digit_row >= digit_groups_in_use)
        return false;
    Digit_unit& d = scene.digit_at(scene.selected_digit_row, scene.selected_digit_col);
    uint32_t px, py;
    palette_place(scene.selected_digit_col, &px, &py);
    if (d.x == px && d.y == py) return false;   // still in the palette
    set_palette_look(d, scene.selected_digit_col);
    d.pitch = start_dot_pitch;
    d.colour = 0;
    d.param_b = 1;
    d.enabled = 1;
    return true;
}

bool delete_text(Scene& scene) {
    if (scene.selected_text >= string_draw_count) return false;
    string_draw& s = scene.string_draws[scene.selected_text];
    if (scene.selected_text < 5) {   // the left panel's own texts go back to it, as the panel's
        const uint32_t x = 85, y = 535 + 50 * uint32_t{scene.selected_text};
        const string_draw fresh;
        const bool panels_own = s.text_source == scene.selected_text && s.length == fresh.length &&
                                std::memcmp(s.text, fresh.text, sizeof s.text) == 0;
        if (s.x == x && s.y == y && panels_own) return false;
        const int32_t width = s.width, height = s.height;
        s = fresh;
        s.x = x;
        s.y = y;
        s.width = width, s.height = height;
        s.text_source = scene.selected_text;
        return true;
    }
    const string_draw fresh;
    s = fresh;
    s.enabled = 0;   // not drawn, clicked, saved as shown or sent
    return true;
}

bool delete_graph(Scene& scene) {
    const int k = scene.selected_graph;
    if (k >= graph_draw_count || k >= scene.graph_count) return false;
    graph_draw& g = scene.graph_draws[k];
    g.x = g.y = g.width = g.height = 0;
    g.in_use = 0;
    while (scene.graph_count > 0 && !scene.graph_draws[scene.graph_count - 1].in_use) --scene.graph_count;
    return true;
}

}  // namespace

bool delete_selected(Ui_state& ui, Scene& scene) {
    Input_state& in = ui.input;
    // An open rectangle is finished or dropped before anything is removed.
    if (in.corner_clicks & 1) return false;
    const bool removed = delete_digit(scene) || delete_text(scene) || delete_graph(scene);
    if (!removed) return false;
    clear_selection(in, scene);
    in.board_grabbed = in.digit_grabbed = in.text_grabbed = in.graph_grabbed = 0;
    return true;
}
