#include "scene/pools.h"

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
