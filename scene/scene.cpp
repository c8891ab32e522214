#include "scene/scene.h"

void reset_scene(Scene& scene) {
    // Records first take the start-up pitch as theirs, as constructed.
    for (led_unit& r : scene.led_units) r = led_unit();
    for (Digit_unit& r : scene.digit_units) r = Digit_unit();
    for (menu_unit& r : scene.panel_type_menu) r = menu_unit();
    for (menu_unit& r : scene.brightness_menu) r = menu_unit();
    for (menu_unit& r : scene.toolbar_menu) r = menu_unit();
    for (graph_draw& r : scene.graph_draws) r = graph_draw();
    for (string_draw& r : scene.string_draws) r = string_draw();
    scene.text_count = scene.graph_count = scene.rect_count = 0;
    scene.texts_made = scene.shapes_made = 0;
    scene.board_columns = scene.export_columns = scene.board_rows = 1;
    scene.dot_pitch = start_dot_pitch;
    scene.selected_board_col = scene.selected_board_row = no_board;
    scene.selected_digit_col = scene.selected_digit_row = no_digit;
    scene.selected_text = no_text;
    scene.selected_graph = no_graph;
    scene.mouse_x = scene.mouse_y = 0;
    scene.view_width = 1200;
    scene.view_height = 801;
    scene.brightness_level = 8;
    scene.panel_type = 0;
}
