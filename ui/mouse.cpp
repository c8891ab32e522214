#include "ui/mouse.h"

#include "scene/pools.h"
#include "scene/view_state.h"
#include "ui/app_requests.h"
#include "ui/edit_steps.h"
#include "ui/keyboard.h"
#include "ui/menus.h"
#include "ui/window_ops.h"
#include "ui/window_state.h"

uint8_t board_grabbed = 0, digit_grabbed = 0, text_grabbed = 0, graph_grabbed = 0,
        menu_grabbed = 0;
uint8_t window_dragging = 0;
int32_t resize_edge = 0;
int32_t anchor_x = 0, anchor_y = 0;
int32_t resize_anchor_x = 0, resize_anchor_y = 0;
uint8_t corner_clicks = 0;

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

const int zone_cursor[9] = {
    cursor_right_arrow,     cursor_top_left_corner, cursor_right_side,
    cursor_top_right_corner, cursor_up_down,        cursor_top_left_corner,
    cursor_left_right,      cursor_top_right_corner, cursor_up_down,
};

// Rectangle corner of a press in drawing mode (the press then goes on).
// The odd click opens a rectangle in a new record, the even click closes
// it. A full pool takes no new rectangle.
void place_corner(Scene& scene, int x, int y) {
    if (draw_mode && y > static_cast<int>(screen_origin_y) && x > static_cast<int>(screen_origin_x)) {
        const int32_t n = scene.graph_count;
        const bool opening = !(corner_clicks & 1);
        if (!opening || n < graph_draw_count) {
            if (n < graph_draw_count) {
                graph_draw& g = scene.graph_draws[n];
                g.x = x;
                g.y = y;
                g.in_use = 1;
            }
            ++corner_clicks;
            if (corner_clicks & 1) scene.graph_count = n + 1;
        }
    }
}

// Menu entries: the toolbar, then the brightness and panel-type groups.
// True when the press hit one (its action is done).
bool press_entry(Scene& scene, int x, int y) {
    int id = menu_hit(scene.toolbar_menu, toolbar_menu_count, x, y);
    if (id >= 0) {
        clicked_entry = static_cast<uint8_t>(id);
        menu_grabbed = 1;
        toolbar_action(scene, id);
        return true;
    }
    if ((id = menu_hit(scene.brightness_menu, brightness_menu_count, x, y)) >= 0) {
        menu_grabbed = 1;
        brightness_action(scene, id);
        return true;
    }
    if ((id = menu_hit(scene.panel_type_menu, panel_type_menu_count, x, y)) >= 0) {
        menu_grabbed = 1;
        panel_type_action(scene, id);
        return true;
    }
    return false;
}

// Grabs the first element whose box holds the press: shape and digit
// elements (group 0 first: palette copies are stacked), texts, measured
// rectangles (drawn over the sign), then boards. True when one was grabbed.
bool grab_element(Scene& scene, int x, int y) {
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
                anchor_x = static_cast<int32_t>(px - d.x);
                anchor_y = static_cast<int32_t>(py - d.y);
                scene.selected_digit_col = static_cast<uint8_t>(i);
                scene.selected_digit_row = static_cast<uint8_t>(g);
                digit_grabbed = 1;
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
            anchor_x = static_cast<int32_t>(px - s.x);
            anchor_y = static_cast<int32_t>(py - s.y);
            scene.selected_text = static_cast<uint8_t>(k);
            text_grabbed = 1;
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
            anchor_x = wrap_sub(x, g.x);
            anchor_y = wrap_sub(y, g.y);
            scene.selected_graph = static_cast<uint16_t>(k);
            graph_grabbed = 1;
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
                anchor_x = static_cast<int32_t>(px - ux);
                anchor_y = static_cast<int32_t>(py - uy);
                scene.selected_board_col = static_cast<uint8_t>(c);
                scene.selected_board_row = static_cast<uint8_t>(r);
                board_grabbed = 1;
                return true;
            }
        }
    }

    return false;
}

// Left press, in order; the first hit ends it.
void left_down(Scene& scene, int x, int y) {
    clear_selection(scene);
    place_corner(scene, x, y);
    if (press_entry(scene, x, y) || grab_element(scene, x, y)) return;
    // Nothing hit: the drag moves the window, or resizes it from a border.
    window_dragging = 1;
    window_pointer(&anchor_x, &anchor_y);
    resize_edge = border_zone(x, y);
    if (resize_edge != 0) window_pointer(&resize_anchor_x, &resize_anchor_y);
}

void left_up(Scene& scene) {
    // A dropped element lands on its board's LED grid: the card cannot show
    // anything between two LEDs.
    if (digit_grabbed && scene.selected_digit_row < digit_groups_in_use && scene.selected_digit_col < digit_group_size) {
        Digit_unit& d = scene.digit_at(scene.selected_digit_row, scene.selected_digit_col);
        if (snap_to_board(scene, &d.x, &d.y)) d.pitch = scene.dot_pitch;
    }
    if (text_grabbed && scene.selected_text < string_draw_count) {
        string_draw& s = scene.string_draws[scene.selected_text];
        if (snap_to_board(scene, &s.x, &s.y)) s.pitch = scene.dot_pitch;
    }
    board_grabbed = digit_grabbed = text_grabbed = graph_grabbed = menu_grabbed = 0;
    window_dragging = 0;
    resize_edge = 0;
    settle_after_edit(scene);   // the card gets what the next frame shows
    if (App_requests* a = app_requests()) a->live_send(scene);
}

}  // namespace

int border_zone(int32_t x, int32_t y) {
    const int32_t client_w = window_w - window_frame_w, client_h = window_h - window_frame_h;
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

void clear_selection(Scene& scene) {
    scene.selected_board_col = scene.selected_board_row = no_board;
    scene.selected_digit_col = scene.selected_digit_row = no_digit;
    scene.selected_text = no_text;
    scene.selected_graph = no_graph;
    graph_grabbed = 0;
}

static void apply_mouse(Scene& scene, int button, int state, int x, int y) {
    if (button == mouse_left && state == mouse_down)
        left_down(scene, x, y);
    else if (button == mouse_left && state == mouse_up)
        left_up(scene);
    else if (button == mouse_right && state == mouse_down)
        clear_selection(scene);
}

static void apply_motion(Scene& scene, int x, int y) {
    int px, py;
    window_pointer(&px, &py);
    scene.mouse_x = x;
    scene.mouse_y = y;

    if (window_dragging && !board_grabbed && !digit_grabbed && resize_edge == 0 && !menu_grabbed &&
        !draw_mode && !graph_grabbed && !text_grabbed) {
        window_x += wrap_sub(px, anchor_x);
        window_y += wrap_sub(py, anchor_y);
        window_position(window_x, window_y);
        anchor_x = px;
        anchor_y = py;
    }

    if (resize_edge != 0) {
        const int mx = px - anchor_x, my = py - anchor_y;
        const int dx = px - resize_anchor_x, dy = py - resize_anchor_y;
        const int e = resize_edge;
        const bool move_x = e == 1 || e == 2 || e == 3;
        const bool move_y = e == 1 || e == 7 || e == 8;
        if (move_x) window_x += mx;
        if (move_y) window_y += my;
        switch (e) {
            case 1: window_w -= dx, window_h -= dy; break;
            case 2: window_w -= dx; break;
            case 3: window_w -= dx, window_h += dy; break;
            case 4: window_h += dy; break;
            case 5: window_w += dx, window_h += dy; break;
            case 6: window_w += dx; break;
            case 7: window_w += dx, window_h -= dy; break;
            case 8: window_h -= dy; break;
        }
        // Never smaller than the least client area (a 0 or negative size
        // ends the program with an X error, or wraps to 65,000 pixels).
        // Dragging the left or top edge further keeps the opposite edge put.
        const int32_t least_w = min_client_w + window_frame_w, least_h = min_client_h + window_frame_h;
        if (window_w < least_w) {
            if (move_x) window_x -= least_w - window_w;
            window_w = least_w;
        }
        if (window_h < least_h) {
            if (move_y) window_y -= least_h - window_h;
            window_h = least_h;
        }
        if (move_x || move_y) window_position(window_x, window_y);
        window_reshape(window_w - window_frame_w, window_h - window_frame_h);
        anchor_x = resize_anchor_x = px;
        anchor_y = resize_anchor_y = py;
        scene.toolbar_menu[toolbar_close].x = close_entry_x();
    }

    if (!board_grabbed && !draw_mode) {
        const int32_t nx = wrap_sub(x, anchor_x), ny = wrap_sub(y, anchor_y);
        if (digit_grabbed && scene.selected_digit_row < digit_groups_in_use &&
            scene.selected_digit_col < digit_group_size) {
            Digit_unit& d = scene.digit_at(scene.selected_digit_row, scene.selected_digit_col);
            d.x = static_cast<uint32_t>(nx);
            d.y = static_cast<uint32_t>(ny);
        }
        if (text_grabbed && scene.selected_text < string_draw_count) {
            scene.string_draws[scene.selected_text].x = static_cast<uint32_t>(nx);
            scene.string_draws[scene.selected_text].y = static_cast<uint32_t>(ny);
        }
        if (graph_grabbed && scene.selected_graph < graph_draw_count) {
            scene.graph_draws[scene.selected_graph].x = nx;
            scene.graph_draws[scene.selected_graph].y = ny;
        }
    }
}

void on_passive_motion(Scene& scene, int x, int y) {
    scene.mouse_x = x;
    scene.mouse_y = y;
    const uint32_t p = scene.dot_pitch;

    // Rubber band of the open rectangle (unsigned division of the wrapped
    // difference, so a drag left or up gives a huge left-running extent).
    if (draw_mode && (corner_clicks & 1) && scene.graph_count > 0 && scene.graph_count <= graph_draw_count) {
        graph_draw& g = scene.graph_draws[scene.graph_count - 1];
        g.width = static_cast<int32_t>((static_cast<uint32_t>(x) - static_cast<uint32_t>(g.x)) / p);
        g.height = static_cast<int32_t>((static_cast<uint32_t>(y) - static_cast<uint32_t>(g.y)) / p);
    }

    update_hover(scene, x, y);

    // Border cursors; inside, the crosshair while drawing, else the arrow.
    const int zone = border_zone(x, y);
    window_set_cursor(zone != 0 ? zone_cursor[zone] : draw_mode ? cursor_crosshair : cursor_right_arrow);

    if (!draw_mode) {
        const uint32_t px = static_cast<uint32_t>(x), py = static_cast<uint32_t>(y);
        for (int k = 0; k < string_draw_count; ++k) {
            const string_draw& s = scene.string_draws[k];
            if (s.enabled && inside(px, s.x, s.x + p * static_cast<uint32_t>(s.width)) &&
                inside(py, s.y, s.y + p * static_cast<uint32_t>(s.height)))
                window_set_cursor(cursor_text);
        }
    }
}

void reset_input_state() {
    board_grabbed = digit_grabbed = text_grabbed = graph_grabbed = menu_grabbed = 0;
    window_dragging = 0;
    resize_edge = 0;
    anchor_x = anchor_y = resize_anchor_x = resize_anchor_y = 0;
    corner_clicks = 0;
    window_x = window_y = 50;
    window_w = window_h = 0;
    window_ops = Window_ops{};
    reset_menu_state();
    reset_keyboard_state();
    editor_history().stop();
}

// Each input settles what it changed before the next frame shows it.
// A press and its release make one undo step (the step is recorded when
// nothing is held any more).
void on_mouse(Scene& scene, int button, int state, int x, int y) {
    // The help covers the scene: a press closes it and reaches nothing
    // under it (so the release and the drag after it grab nothing either).
    if (help_shown) {
        if (state == mouse_down) help_shown = false;
        scene.mouse_x = x, scene.mouse_y = y;
        return;
    }
    apply_mouse(scene, button, state, x, y);
    settle_after_edit(scene);
    record_input_edit(scene);
}

void on_motion(Scene& scene, int x, int y) {
    if (help_shown) {   // nothing under the help is dragged
        scene.mouse_x = x, scene.mouse_y = y;
        return;
    }
    apply_motion(scene, x, y);
    settle_after_edit(scene);
}
