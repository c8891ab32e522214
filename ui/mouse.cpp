#include "ui/mouse.h"

#include "scene/pools.h"
#include "scene/view_state.h"
#include "ui/app_requests.h"
#include "ui/edit_steps.h"
#include "ui/keyboard.h"
#include "ui/menus.h"
#include "ui/window_ops.h"
#include "ui/window_state.h"

namespace {

// a - b with 32-bit wrap-around, as the position arithmetic is defined.
int32_t wrap_sub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// Strict point-in-box on both sides, as unsigned 32-bit numbers (sums wrap).
bool inside(uint32_t px, uint32_t lo, uint32_t hi) { return px > lo && px < hi; }

// Overlay extent test along one axis: an extent below 0xFF000 runs right
// (down) from the corner, one above it left (up); exactly 0xFF000 never hits.
bool inside_extent(uint32_t px, uint32_t corner, uint32_t extent, uint32_t p) {
    const uint32_t far = corner + extent * p;
    if (extent < 0xFF000u) return inside(px, corner, far);
    if (extent > 0xFF000u) return inside(px, far, corner);
    return false;
}

constexpr int zone_cursor[9] = {
    cursor_right_arrow,     cursor_top_left_corner, cursor_right_side,
    cursor_top_right_corner, cursor_up_down,        cursor_top_left_corner,
    cursor_left_right,      cursor_top_right_corner, cursor_up_down,
};

// Rectangle corner of a press in drawing mode (the press then goes on).
// The odd click opens a rectangle in a new record, the even click closes
// it. A full pool takes no new rectangle.
void place_corner(Input_state& in, Scene& scene, int x, int y) {
    if (in.draw_mode && y > static_cast<int>(screen_origin_y) && x > static_cast<int>(screen_origin_x)) {
        const int32_t n = scene.graph_count;
        const bool opening = !(in.corner_clicks & 1);
        if (!opening || n < graph_draw_count) {
            if (n < graph_draw_count) {
                graph_draw& g = scene.graph_draws[n];
                g.x = x;
                g.y = y;
                g.in_use = 1;
            }
            ++in.corner_clicks;
            if (in.corner_clicks & 1) scene.graph_count = n + 1;
        }
    }
}

// Menu entries: the toolbar, then the brightness and panel-type groups.
// True when the press hit one (its action is done).
bool press_entry(Ui_state& ui, Scene& scene, int x, int y) {
    Input_state& in = ui.input;
    int id = menu_hit(scene.toolbar_menu, toolbar_menu_count, x, y);
    if (id >= 0) {
        in.clicked_entry = static_cast<uint8_t>(id);
        in.menu_grabbed = 1;
        toolbar_action(ui, scene, id);
        return true;
    }
    if ((id = menu_hit(scene.brightness_menu, brightness_menu_count, x, y)) >= 0) {
        in.menu_grabbed = 1;
        brightness_action(scene, id);
        return true;
    }
    if ((id = menu_hit(scene.panel_type_menu, panel_type_menu_count, x, y)) >= 0) {
        in.menu_grabbed = 1;
        panel_type_action(scene, id);
        return true;
    }
    return false;
}

// Grabs the first element whose box holds the press: shape and digit
// elements (group 0 first: palette copies are stacked), texts, measured
// rectangles (drawn over the sign), then boards. True when one was grabbed.
bool grab_element(Input_state& in, Scene& scene, int x, int y) {
    const uint32_t px = static_cast<uint32_t>(x), py = static_cast<uint32_t>(y);
    const uint32_t p = scene.dot_pitch;
    for (int g = 0; g < digit_groups_in_use; ++g) {
        for (int i = 0; i < digit_group_size; ++i) {
            const Digit_unit& d = scene.digit_at(g, i);
            // The box of what is drawn: palette and margin elements are
            // drawn at pitch 2 whatever the zoom.
            const uint32_t pe = outside_dot_grid(d.x, d.y) ? 2u : p;
            const uint32_t w = pe * static_cast<uint32_t>(d.width);
            const uint32_t h = pe * static_cast<uint32_t>(d.height);
            const bool hit = d.type_code == 512
                                 ? inside(px, d.x - w, d.x + w) && inside(py, d.y - h, d.y + h)
                                 : inside(px, d.x, d.x + w) && inside(py, d.y, d.y + h);
            if (hit) {
                in.anchor_x = static_cast<int32_t>(px - d.x);
                in.anchor_y = static_cast<int32_t>(py - d.y);
                scene.selected_digit_col = static_cast<uint8_t>(i);
                scene.selected_digit_row = static_cast<uint8_t>(g);
                in.digit_grabbed = 1;
                return true;
            }
        }
    }

    for (int k = 0; k < string_draw_count; ++k) {
        const string_draw& s = scene.string_draws[k];
        if (!s.enabled) continue;   // not drawn: nothing to click
        // Texts in the margins are drawn at pitch 2 whatever the zoom.
        const uint32_t pt = outside_dot_grid(s.x, s.y) ? 2u : p;
        if (inside(px, s.x, s.x + pt * static_cast<uint32_t>(s.width)) &&
            inside(py, s.y, s.y + pt * static_cast<uint32_t>(s.height))) {
            in.anchor_x = static_cast<int32_t>(px - s.x);
            in.anchor_y = static_cast<int32_t>(py - s.y);
            scene.selected_text = static_cast<uint8_t>(k);
            in.text_grabbed = 1;
            return true;
        }
    }

    // Measured rectangles lie over the sign: a press on one takes it, not
    // the board under it (so Delete removes it).
    const int overlays = scene.graph_count < graph_draw_count ? scene.graph_count : graph_draw_count;
    for (int k = 0; k < overlays; ++k) {
        const graph_draw& g = scene.graph_draws[k];
        if (!g.in_use) continue;
        if (inside_extent(px, static_cast<uint32_t>(g.x), static_cast<uint32_t>(g.width), p) &&
            inside_extent(py, static_cast<uint32_t>(g.y), static_cast<uint32_t>(g.height), p)) {
            in.anchor_x = wrap_sub(x, g.x);
            in.anchor_y = wrap_sub(y, g.y);
            scene.selected_graph = static_cast<uint16_t>(k);
            in.graph_grabbed = 1;
            return true;
        }
    }

    const int columns = scene.board_columns < max_board_columns ? scene.board_columns : max_board_columns;
    for (int r = 0; r < board_grid_rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const led_unit& u = scene.board_at(r, c);
            const uint32_t ux = static_cast<uint32_t>(u.x), uy = static_cast<uint32_t>(u.y);
            if (inside(px, ux, ux + p * static_cast<uint32_t>(u.width)) &&
                inside(py, uy, uy + p * static_cast<uint32_t>(u.height))) {
                in.anchor_x = static_cast<int32_t>(px - ux);
                in.anchor_y = static_cast<int32_t>(py - uy);
                scene.selected_board_col = static_cast<uint8_t>(c);
                scene.selected_board_row = static_cast<uint8_t>(r);
                in.board_grabbed = 1;
                return true;
            }
        }
    }

    return false;
}

// Left press, in order; the first hit ends it.
void left_down(Ui_state& ui, Scene& scene, int x, int y) {
    Input_state& in = ui.input;
    clear_selection(in, scene);
    place_corner(in, scene, x, y);
    if (press_entry(ui, scene, x, y) || grab_element(in, scene, x, y)) return;
    // Nothing hit: the drag moves the window, or resizes it from a border.
    in.window_dragging = 1;
    window_pointer(ui.window.ops, &in.anchor_x, &in.anchor_y);
    in.resize_edge = border_zone(ui.window, x, y);
    if (in.resize_edge != 0) window_pointer(ui.window.ops, &in.resize_anchor_x, &in.resize_anchor_y);
}

void left_up(Ui_state& ui, Scene& scene) {
    Input_state& in = ui.input;
    // A dropped element lands on its board's LED grid: the card cannot show
    // anything between two LEDs.
    if (in.digit_grabbed && scene.selected_digit_row < digit_groups_in_use && scene.selected_digit_col < digit_group_size) {
        Digit_unit& d = scene.digit_at(scene.selected_digit_row, scene.selected_digit_col);
        if (snap_to_board(scene, &d.x, &d.y)) d.pitch = scene.dot_pitch;
    }
    if (in.text_grabbed && scene.selected_text < string_draw_count) {
        string_draw& s = scene.string_draws[scene.selected_text];
        if (snap_to_board(scene, &s.x, &s.y)) s.pitch = scene.dot_pitch;
    }
    in.board_grabbed = in.digit_grabbed = in.text_grabbed = in.graph_grabbed = in.menu_grabbed = 0;
    in.window_dragging = 0;
    in.resize_edge = 0;
    settle_after_edit(scene);   // the card gets what the next frame shows
    if (ui.requests) ui.requests->live_send(scene, ui.status);
}

}  // namespace

int border_zone(const Window_state& window, int32_t x, int32_t y) {
    const int32_t client_w = window.w - window_frame_w, client_h = window.h - window_frame_h;
    const bool left = x <= 5, right = x >= client_w - 5;
    const bool top = y <= 5, bottom = y >= client_h - 5;
    if (top && left) return 1;
    if (bottom && left) return 3;
    if (left) return 2;
    if (bottom && right) return 5;
    if (bottom) return 4;
    if (top && right) return 7;
    if (right) return 6;
    if (top) return 8;
    return 0;
}

void clear_selection(Input_state& in, Scene& scene) {
    scene.selected_board_col = scene.selected_board_row = no_board;
    scene.selected_digit_col = scene.selected_digit_row = no_digit;
    scene.selected_text = no_text;
    scene.selected_graph = no_graph;
    in.graph_grabbed = 0;
}

static void apply_mouse(Ui_state& ui, Scene& scene, int button, int state, int x, int y) {
    if (button == mouse_left && state == mouse_down)
        left_down(ui, scene, x, y);
    else if (button == mouse_left && state == mouse_up)
        left_up(ui, scene);
    else if (button == mouse_right && state == mouse_down)
        clear_selection(ui.input, scene);
}

static void apply_motion(Ui_state& ui, Scene& scene, int x, int y) {
    Input_state& in = ui.input;
    Window_state& win = ui.window;
    int px, py;
    window_pointer(win.ops, &px, &py);
    scene.mouse_x = x;
    scene.mouse_y = y;

    if (in.window_dragging && !in.board_grabbed && !in.digit_grabbed && in.resize_edge == 0 && !in.menu_grabbed &&
        !in.draw_mode && !in.graph_grabbed && !in.text_grabbed) {
        win.x += wrap_sub(px, in.anchor_x);
        win.y += wrap_sub(py, in.anchor_y);
        window_position(win.ops, win.x, win.y);
        in.anchor_x = px;
        in.anchor_y = py;
    }

    if (in.resize_edge != 0) {
        const int mx = px - in.anchor_x, my = py - in.anchor_y;
        const int dx = px - in.resize_anchor_x, dy = py - in.resize_anchor_y;
        const int e = in.resize_edge;
        const bool move_x = e == 1 || e == 2 || e == 3;
        const bool move_y = e == 1 || e == 7 || e == 8;
        if (move_x) win.x += mx;
        if (move_y) win.y += my;
        switch (e) {
            case 1: win.w -= dx, win.h -= dy; break;
            case 2: win.w -= dx; break;
            case 3: win.w -= dx, win.h += dy; break;
            case 4: win.h += dy; break;
            case 5: win.w += dx, win.h += dy; break;
            case 6: win.w += dx; break;
            case 7: win.w += dx, win.h -= dy; break;
            case 8: win.h -= dy; break;
        }
        // Never smaller than the least client area (a 0 or negative size
        // ends the program with an X error, or wraps to 65,000 pixels).
        // Dragging the left or top edge further keeps the opposite edge put.
        const int32_t least_w = min_client_w + window_frame_w, least_h = min_client_h + window_frame_h;
        if (win.w < least_w) {
            if (move_x) win.x -= least_w - win.w;
            win.w = least_w;
        }
        if (win.h < least_h) {
            if (move_y) win.y -= least_h - win.h;
            win.h = least_h;
        }
        if (move_x || move_y) window_position(win.ops, win.x, win.y);
        window_reshape(win.ops, win.w - window_frame_w, win.h - window_frame_h);
        in.anchor_x = in.resize_anchor_x = px;
        in.anchor_y = in.resize_anchor_y = py;
        scene.toolbar_menu[toolbar_close].x = win.close_entry_x();
    }

    if (!in.board_grabbed && !in.draw_mode) {
        const int32_t nx = wrap_sub(x, in.anchor_x), ny = wrap_sub(y, in.anchor_y);
        if (in.digit_grabbed && scene.selected_digit_row < digit_groups_in_use &&
            scene.selected_digit_col < digit_group_size) {
            Digit_unit& d = scene.digit_at(scene.selected_digit_row, scene.selected_digit_col);
            d.x = static_cast<uint32_t>(nx);
            d.y = static_cast<uint32_t>(ny);
        }
        if (in.text_grabbed && scene.selected_text < string_draw_count) {
            scene.string_draws[scene.selected_text].x = static_cast<uint32_t>(nx);
            scene.string_draws[scene.selected_text].y = static_cast<uint32_t>(ny);
        }
        if (in.graph_grabbed && scene.selected_graph < graph_draw_count) {
            scene.graph_draws[scene.selected_graph].x = nx;
            scene.graph_draws[scene.selected_graph].y = ny;
        }
    }
}

void on_passive_motion(Ui_state& ui, Scene& scene, int x, int y) {
    const Input_state& in = ui.input;
    scene.mouse_x = x;
    scene.mouse_y = y;
    const uint32_t p = scene.dot_pitch;

    // Rubber band of the open rectangle (unsigned division of the wrapped
    // difference, so a drag left or up gives a huge left-running extent).
    if (in.draw_mode && (in.corner_clicks & 1) && scene.graph_count > 0 && scene.graph_count <= graph_draw_count) {
        graph_draw& g = scene.graph_draws[scene.graph_count - 1];
        g.width = static_cast<int32_t>((static_cast<uint32_t>(x) - static_cast<uint32_t>(g.x)) / p);
        g.height = static_cast<int32_t>((static_cast<uint32_t>(y) - static_cast<uint32_t>(g.y)) / p);
    }

    update_hover(ui.input, scene, x, y);

    // Border cursors; inside, the crosshair while drawing, else the arrow.
    const int zone = border_zone(ui.window, x, y);
    window_set_cursor(ui.window.ops, zone != 0 ? zone_cursor[zone] : in.draw_mode ? cursor_crosshair : cursor_right_arrow);

    if (!in.draw_mode) {
        const uint32_t px = static_cast<uint32_t>(x), py = static_cast<uint32_t>(y);
        for (int k = 0; k < string_draw_count; ++k) {
            const string_draw& s = scene.string_draws[k];
            if (s.enabled && inside(px, s.x, s.x + p * static_cast<uint32_t>(s.width)) &&
                inside(py, s.y, s.y + p * static_cast<uint32_t>(s.height)))
                window_set_cursor(ui.window.ops, cursor_text);
        }
    }
}

// Each input settles what it changed before the next frame shows it.
// A press and its release make one undo step (the step is recorded when
// nothing is held any more).
void on_mouse(Ui_state& ui, Scene& scene, int button, int state, int x, int y) {
    // The help covers the scene: a press closes it and reaches nothing
    // under it (so the release and the drag after it grab nothing either).
    if (ui.input.help_shown) {
        if (state == mouse_down) ui.input.help_shown = false;
        scene.mouse_x = x, scene.mouse_y = y;
        return;
    }
    apply_mouse(ui, scene, button, state, x, y);
    settle_after_edit(scene);
    record_input_edit(ui, scene);
}

void on_motion(Ui_state& ui, Scene& scene, int x, int y) {
    if (ui.input.help_shown) {   // nothing under the help is dragged
        scene.mouse_x = x, scene.mouse_y = y;
        return;
    }
    apply_motion(ui, scene, x, y);
    settle_after_edit(scene);
}
