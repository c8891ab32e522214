#include "scene/pools.h"

#include "scene/settings.h"
#include "scene/view_state.h"

// All pools are defined in this one file so that their constructors run in
// this order, before main.
led_unit led_units[led_unit_count];
Digit_unit digit_units[digit_unit_count];
Digit_unit_menu digit_unit_menus[digit_unit_menu_count];
menu_unit panel_type_menu[panel_type_menu_count];
menu_unit brightness_menu[brightness_menu_count];
menu_unit toolbar_menu[toolbar_menu_count];
graph_draw graph_draws[graph_draw_count];
string_draw string_draws[string_draw_count];
cmd_unit cmd_list;

int32_t text_count = 0;
int32_t graph_count = 0;
int32_t rect_count = 0;

int32_t board_columns = 1;
int32_t export_columns = 1;
int32_t board_rows = 1;

void reset_scene_state() {
    reset_view_state();   // first: new records take the start-up pitch
    for (led_unit& r : led_units) r = led_unit();
    for (Digit_unit& r : digit_units) r = Digit_unit();
    for (Digit_unit_menu& r : digit_unit_menus) r = Digit_unit_menu();
    for (menu_unit& r : panel_type_menu) r = menu_unit();
    for (menu_unit& r : brightness_menu) r = menu_unit();
    for (menu_unit& r : toolbar_menu) r = menu_unit();
    for (graph_draw& r : graph_draws) r = graph_draw();
    for (string_draw& r : string_draws) r = string_draw();
    text_count = graph_count = rect_count = 0;
    board_columns = export_columns = board_rows = 1;
    reset_settings();
}
