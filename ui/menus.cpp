#include "ui/menus.h"

#include <cstring>

#include "platform/platform.h"
#include "scene/pools.h"
#include "scene/view_state.h"
#include "ui/window_state.h"

int32_t brightness_level = 8;
uint8_t panel_type = 0;
uint8_t hover_brightness = 0xFF, hover_toolbar = 0xFF, hover_panel_type = 0xFF;
uint8_t clicked_entry = 0;
uint8_t draw_mode = 0;
uint8_t draw_toggle = 1;

namespace {

// One entry of a group; the label is given in UTF-8 and stored in GBK.
void set_entry(menu_unit& m, int id, const char* label_utf8, int32_t x, int32_t y,
               int32_t width, int32_t value) {
    m.id = id;
    std::memset(m.label, 0, sizeof m.label);
    platform_utf8_to_gbk(label_utf8, m.label, sizeof m.label);
    m.x = x;
    m.y = y;
    m.width = width;
    m.value = value;
}

}  // namespace

void build_layout() {
    const int32_t p = dot_pitch;

    led_unit& board0 = board_at(0, 0);
    board0.x = 276;
    board0.y = 226;
    board0.width = 256;
    board0.height = 128;
    board_columns = 1;

    // The palette: every group holds the same elements at the same places,
    // so dragging one off its place uncovers the next group's copy.
    for (int g = 0; g < digit_groups_in_use; ++g) {
        for (int i = 0; i < digit_group_size; ++i) {
            Digit_unit& d = digit_at(g, i);
            d.x = 90 + 50 * i;
            d.y = 800;
            d.width = 28;
            d.height = 20;
            d.param_a = 5;
            d.digits = 2;
            d.type_code = i;
            d.kind = kind_digit;
        }
        struct Shape {
            int index;
            uint8_t kind;
            uint32_t x, y;
            int32_t width, height, param_a, type_code;
        };
        static const Shape shapes[] = {
            {31, kind_block, 1640, 800, 8, 8, 2, 31},
            {32, kind_hline, 1690, 800, 20, 5, 20, 32},
            {33, kind_circle, 230, 376, 10, 10, 10, 512},   // 512: hit box centred
            {34, kind_digit, 250, 40, 5, 5, 4, 34},
            {35, kind_vline, 350, 40, 5, 20, 20, 35},
            {36, kind_rect, 230, 440, 40, 20, 20, 36},
        };
        for (const Shape& s : shapes) {
            Digit_unit& d = digit_at(g, s.index);
            d.kind = s.kind;
            d.x = s.x;
            d.y = s.y;
            d.width = s.width;
            d.height = s.height;
            d.param_a = s.param_a;
            d.type_code = s.type_code;
        }
    }

    // Left-panel texts; 3 and 4 export as text-file references.
    for (int k = 0; k < 5; ++k) {
        string_draw& s = string_draws[k];
        s.x = 85;
        s.y = 535 + 50 * k;
        s.width = 64;
        s.height = 16;
        s.text_source = static_cast<uint8_t>(k);
    }

    panel_type = 0;

    const int32_t ya = 20 * p + 40, yb = 40 * p + 40;
    set_entry(panel_type_menu[0], 0, "□ 08 数据正", 35, ya, 56, 0);
    set_entry(panel_type_menu[1], 1, "□ 08 数据负", 35, yb, 56, 0);
    set_entry(panel_type_menu[2], 2, "□ 12 数据正", 185, ya, 56, 0);
    set_entry(panel_type_menu[3], 3, "□ 12 数据负", 185, yb, 56, 0);

    set_entry(brightness_menu[0], 0, "亮度 +", 500, ya, 32, 8);
    set_entry(brightness_menu[1], 1, "亮度 -", 500, yb, 32, 0);

    set_entry(toolbar_menu[0], 0, "列数 +", 680, ya, 32, board_columns);
    set_entry(toolbar_menu[1], 1, "列数 -", 680, yb, 32, 0);
    set_entry(toolbar_menu[2], 2, "下载数据到u盘", 895, yb, 64, 0);
    set_entry(toolbar_menu[3], 3, "画矩形", 355, ya, 32, 0);
    set_entry(toolbar_menu[4], 4, "撤回", 355, yb, 32, 0);
    set_entry(toolbar_menu[5], 5, "行数 +", 780, ya, 32, board_rows);
    set_entry(toolbar_menu[6], 6, "行数 -", 780, yb, 32, 0);
    set_entry(toolbar_menu[7], 7, "×", window_w - 20, 30, 10, 0);
    toolbar_menu[7].height = 3;
}
