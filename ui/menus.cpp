#include "ui/menus.h"

#include <algorithm>

#include <cstring>

#include <cstdio>

#include "platform/platform.h"
#include "render/dot_sink.h"
#include "render/outline_font.h"
#include "render/shapes.h"
#include "scene/pools.h"
#include "scene/view_state.h"
#include "ui/app_requests.h"
#include "ui/mouse.h"
#include "ui/window_ops.h"
#include "ui/window_state.h"

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

void move_old_palette_places(Scene& scene) {
    // The first layout had the digit modules at (90 + 50 i, 800) (the last
    // pixel row, most beyond the right edge), the block at (1640, 800), the
    // line at (1690, 800) and the rectangle at (230, 440), over board 0's
    // left edge. A record still at its old place was never moved by the
    // operator: it goes to its new place. Moved records stay where they are.
    // A file of the first layout has no copy of entry i at its new place;
    // in one of today's, a record at an old place was put there by the
    // operator, and stays.
    for (int i = 0; i < digit_group_size; ++i) {
        const bool old_digit = i < 31 || i > 36;
        if (!(old_digit || i == 31 || i == 32 || i == 36)) continue;
        const uint32_t ox = old_digit ? static_cast<uint32_t>(90 + 50 * i) : i == 31 ? 1640u : i == 32 ? 1690u : 230u;
        const uint32_t oy = old_digit || i == 31 || i == 32 ? 800u : 440u;
        uint32_t nx, ny;
        palette_place(i, &nx, &ny);
        bool todays_layout = false;
        for (int g = 0; g < digit_groups_in_use && !todays_layout; ++g)
            todays_layout = scene.digit_at(g, i).x == nx && scene.digit_at(g, i).y == ny;
        if (todays_layout) continue;
        for (int g = 0; g < digit_groups_in_use; ++g) {
            Digit_unit& d = scene.digit_at(g, i);
            if (d.x != ox || d.y != oy) continue;
            d.x = nx, d.y = ny;
            if (old_digit) d.width = palette_digit_width, d.height = palette_digit_height;
        }
    }
}

void set_palette_look(Digit_unit& d, int index) {
    palette_place(index, &d.x, &d.y);
    d.width = palette_digit_width;
    d.height = palette_digit_height;
    d.param_a = 5;
    d.digits = 2;
    d.type_code = index;
    d.kind = kind_digit;
    struct Shape {
        int index;
        uint8_t kind;
        int32_t width, height, param_a, type_code;
    };
    static const Shape shapes[] = {
        {31, kind_block, 8, 8, 2, 31},
        {32, kind_hline, 20, 5, 20, 32},
        {33, kind_circle, 10, 10, 10, 512},   // 512: hit box centred
        {34, kind_digit, 5, 5, 4, 34},
        {35, kind_vline, 5, 20, 20, 35},
        {36, kind_rect, 40, 20, 20, 36},
    };
    for (const Shape& s : shapes) {
        if (s.index != index) continue;
        d.kind = s.kind;
        d.width = s.width;
        d.height = s.height;
        d.param_a = s.param_a;
        d.type_code = s.type_code;
    }
}

void build_layout(Scene& scene) {
    const int32_t p = scene.dot_pitch;

    led_unit& board0 = scene.board_at(0, 0);
    board0.x = 276;
    board0.y = 226;
    board0.width = 256;
    board0.height = 128;
    scene.board_columns = 1;

    // The palette: every group holds the same elements at the same places,
    // so dragging one off its place uncovers the next group's copy. All of
    // it lies in the left margin (x <= 250) or the top band (y <= 140),
    // where elements keep their place and look at every zoom, and inside
    // the window.
    for (int g = 0; g < digit_groups_in_use; ++g)
        for (int i = 0; i < digit_group_size; ++i) set_palette_look(scene.digit_at(g, i), i);

    // Left-panel texts; 3 and 4 export as text-file references.
    for (int k = 0; k < 5; ++k) {
        string_draw& s = scene.string_draws[k];
        s.x = 85;
        s.y = 535 + 50 * k;
        s.width = 64;
        s.height = 16;
        s.text_source = static_cast<uint8_t>(k);
    }

    scene.panel_type = 0;

    const int32_t ya = 20 * p + 40, yb = 40 * p + 40;
    set_entry(scene.panel_type_menu[0], 0, "□ 08 数据正", 35, ya, 56, 0);
    set_entry(scene.panel_type_menu[1], 1, "□ 08 数据负", 35, yb, 56, 0);
    set_entry(scene.panel_type_menu[2], 2, "□ 12 数据正", 185, ya, 56, 0);
    set_entry(scene.panel_type_menu[3], 3, "□ 12 数据负", 185, yb, 56, 0);

    set_entry(scene.brightness_menu[0], 0, "亮度 +", 500, ya, 32, 8);
    set_entry(scene.brightness_menu[1], 1, "亮度 -", 500, yb, 32, 0);

    set_entry(scene.toolbar_menu[0], 0, "列数 +", 680, ya, 32, scene.board_columns);
    set_entry(scene.toolbar_menu[1], 1, "列数 -", 680, yb, 32, 0);
    set_entry(scene.toolbar_menu[2], 2, "下载数据到u盘", 895, yb, 64, 0);
    set_entry(scene.toolbar_menu[3], 3, "画矩形", 355, ya, 32, 0);
    set_entry(scene.toolbar_menu[4], 4, "撤回", 355, yb, 32, 0);
    set_entry(scene.toolbar_menu[5], 5, "行数 +", 780, ya, 32, scene.board_rows);
    set_entry(scene.toolbar_menu[6], 6, "行数 -", 780, yb, 32, 0);
    // The close entry follows the window's right edge; it starts where the
    // window is created.
    const int32_t outer_w = client_start_w + window_frame_w;
    set_entry(scene.toolbar_menu[7], 7, "×", outer_w - 20, 30, 10, 0);
    scene.toolbar_menu[7].height = 3;
}

int menu_hit(const menu_unit* group, int count, int32_t x, int32_t y) {
    const uint32_t px = static_cast<uint32_t>(x), py = static_cast<uint32_t>(y);
    for (int i = 0; i < count; ++i) {
        const menu_unit& m = group[i];
        const uint32_t left = static_cast<uint32_t>(m.x);
        const uint32_t right = left + static_cast<uint32_t>(entry_box_width(m));
        const uint32_t top = static_cast<uint32_t>(m.y) - 15u, bottom = static_cast<uint32_t>(m.y) + 15u;
        if (px > left && px < right && py > top && py < bottom) return i;
    }
    return -1;
}

void update_hover(Input_state& input, const Scene& scene, int32_t x, int32_t y) {
    auto id = [](int hit) { return static_cast<uint8_t>(hit < 0 ? 0xFF : hit); };
    input.hover_panel_type = id(menu_hit(scene.panel_type_menu, panel_type_menu_count, x, y));
    input.hover_brightness = id(menu_hit(scene.brightness_menu, brightness_menu_count, x, y));
    input.hover_toolbar = id(menu_hit(scene.toolbar_menu, toolbar_menu_count, x, y));
}

void toolbar_action(Ui_state& ui, Scene& scene, int id) {
    Input_state& in = ui.input;
    switch (id) {
        case toolbar_columns_up:
            set_board_columns(scene, std::clamp(scene.board_columns + 1, 0, max_board_columns));
            break;
        case toolbar_columns_down:
            set_board_columns(scene, std::clamp(scene.board_columns - 1, 0, max_board_columns));
            break;
        case toolbar_download:
            if (ui.requests)
                ui.requests->download(scene, ui.status);
            else
                ui.status.set_failure("export: this program cannot write to a removable drive");
            break;
        case toolbar_draw_rect: {
            const uint8_t b = in.draw_toggle & 1;
            window_set_cursor(ui.window.ops, b ? cursor_crosshair : cursor_right_arrow);
            ++in.draw_toggle;
            in.draw_mode = b;
            break;
        }
        case toolbar_undo:
            if (scene.graph_count > 0 && in.draw_mode) {
                --scene.graph_count;
                graph_draw& g = scene.graph_draws[scene.graph_count];
                g.x = g.y = g.width = g.height = 0;
                // An open rectangle is the one removed: close it, so the
                // rubber band does not take over the one before.
                if (in.corner_clicks & 1) ++in.corner_clicks;
            }
            break;
        case toolbar_rows_up:
            if (scene.board_rows < max_board_rows) ++scene.board_rows;
            break;
        case toolbar_rows_down:
            if (scene.board_rows > 0) --scene.board_rows;
            if (scene.board_rows > max_board_rows) scene.board_rows = max_board_rows;
            break;
        case toolbar_close:
            // Saved (or nothing to save with): the program ends. A failed
            // save keeps it open, and the status line says why.
            if (!ui.requests || ui.requests->close(scene, ui.status)) window_quit(ui.window.ops, 0);
            break;
        default:
            break;
    }
    if (id == toolbar_columns_up || id == toolbar_columns_down || id == toolbar_rows_up ||
        id == toolbar_rows_down)
        settle_positions_on_sign(scene);   // elements the sign now reaches sit on its LEDs
    scene.toolbar_menu[toolbar_rows_up].value = scene.board_rows;
    scene.toolbar_menu[toolbar_columns_up].value = scene.board_columns;
}

void brightness_action(Scene& scene, int id) {
    if (id == 0 && scene.brightness_level < max_brightness) ++scene.brightness_level;
    if (id == 1 && scene.brightness_level > 0) --scene.brightness_level;
    scene.brightness_menu[0].value = scene.brightness_level;
}

void panel_type_action(Scene& scene, int id) {
    if (id >= 0 && id < panel_type_menu_count) scene.panel_type = static_cast<uint8_t>(id);
}

namespace {

// Colour of an entry: grey, or green when its state is on, or yellow under
// the mouse.
void entry_colour(Dot_sink& sink, const menu_unit& m, bool hovered, bool active) {
    if (hovered)
        sink.set_colour(1, 1, 0);
    else if (active)
        sink.set_colour(0, 1, 0);
    else
        sink.set_colour(m.colour[0], m.colour[1], m.colour[2]);
}

// The entry's hit box as an outline.
void draw_box(Dot_sink& sink, const menu_unit& m, bool hovered, bool active) {
    entry_colour(sink, m, hovered, active);
    const float left = float(m.x), right = float(m.x + entry_box_width(m));
    const float top = float(m.y - 14), bottom = float(m.y + 14);
    const float box[8] = {left, top, right, top, right, bottom, left, bottom};
    sink.line_loop(box, 4);
}

// The entry's label inside its box, followed by suffix (GBK).
void draw_entry_label(const Screen& screen, const menu_unit& m, bool hovered, bool active, const char* suffix,
                      int inset) {
    entry_colour(screen.sink, m, hovered, active);
    char label[128];
    std::snprintf(label, sizeof label, "%s%s", m.label, suffix);
    // A chosen panel type shows a filled box: "□" (A1 F5) becomes "■" (A1 F6).
    if (active && label[0] == '\xA1' && label[1] == '\xF5') label[1] = '\xF6';
    char16_t wide[128];
    to_wide(label, wide, 128);
    draw_label(screen, wide, m.x + inset, m.y + 6, 1000, 0);
}

// Calls draw(entry, hovered, active, suffix, inset) for every entry.
template <typename Draw>
void each_entry(const Input_state& in, const Scene& scene, Draw draw) {
    char count[16];
    for (int i = 0; i < panel_type_menu_count; ++i)
        draw(scene.panel_type_menu[i], in.hover_panel_type == i, scene.panel_type == i, "", 2);
    std::snprintf(count, sizeof count, "  %d", scene.brightness_level);
    draw(scene.brightness_menu[0], in.hover_brightness == 0, false, count, 2);
    draw(scene.brightness_menu[1], in.hover_brightness == 1, false, "", 2);
    for (int i = 0; i < toolbar_menu_count; ++i) {
        const char* suffix = "";
        if (i == toolbar_columns_up || i == toolbar_rows_up) {
            std::snprintf(count, sizeof count, "  %d",
                          i == toolbar_columns_up ? scene.board_columns : scene.board_rows);
            suffix = count;
        }
        draw(scene.toolbar_menu[i], in.hover_toolbar == i, i == toolbar_draw_rect && in.draw_mode, suffix,
             i == toolbar_close ? 6 : 2);
    }
}

}  // namespace

namespace {

// The keys and mouse actions, one line each (UTF-8): characters, not
// pointers, so the table needs no relocation and stays read-only.
constexpr char help_lines[][128] = {
    "帮助 (F1)                                  按任意键关闭 / any key closes",
    "左键拖动   调色板元素拖到屏幕上; 移动元素; 空白处移动窗口; 边框改变大小",
    "松开左键, Enter   把整个场景发送到控制卡 (send the scene to the card)",
    "右键   取消选择 (select nothing)",
    "Ctrl+Q / Ctrl+A   放大 / 缩小 (zoom in / out)",
    "Ctrl+E   新文本 (new text)      Ctrl+D   新矩形 (new rectangle)",
    "输入字符   写入选中的文本; Backspace 删除最后一个字节",
    "Ctrl+V   粘贴剪贴板里的文字, 可含中文 (paste)",
    "Delete   删除选中的元素 (remove the selected element)",
    "Ctrl+Z   撤销 (undo)      Ctrl+Y, Ctrl+Shift+Z   重做 (redo)",
    "Ctrl+F   字号 12/16/24/32    Ctrl+L   字号 12    Ctrl+K   颜色",
    "Ctrl+G / Ctrl+N   文本框加宽 / 变窄",
    "方向键   按住元素时: 位数, 宽度, 高度    PageUp 笔画    PageDown 颜色",
    "下载数据到u盘   把场景写到U盘 (the scene onto the USB stick)",
    "×   保存并退出 (save and close)      Ctrl+S   不保存退出 (quit, no save)",
};

// The help: a dark panel of its natural size (900 x 550 pixels, 15 lines)
// in the middle of the drawing area, scaled down as a whole where the
// window is smaller, so that every line is inside it even at 400 x 300.
void draw_help(const Screen& screen, const Scene& scene) {
    Dot_sink& sink = screen.sink;
    constexpr int32_t count = static_cast<int32_t>(sizeof help_lines / sizeof help_lines[0]);
    constexpr float natural_w = 900, line = 34, natural_h = 20 + line * count, margin = 8;
    const float room_w = static_cast<float>(scene.view_width) - 2 * margin;
    const float room_h = static_cast<float>(scene.view_height) - 2 * margin;
    const float scale = std::max(0.1f, std::min({1.0f, room_w / natural_w, room_h / natural_h}));
    const float width = natural_w * scale, height = natural_h * scale;
    const float left = std::max(margin, std::min(150.0f, (static_cast<float>(scene.view_width) - width) / 2));
    const float top = std::max(margin, std::min(150.0f, (static_cast<float>(scene.view_height) - height) / 2));
    // A dark panel: one horizontal segment per pixel row.
    float rows[2 * 2 * 640];
    int n = 0;
    for (float y = top; y <= top + height && n + 4 <= static_cast<int>(sizeof rows / sizeof rows[0]); y += 1) {
        rows[n++] = left, rows[n++] = y, rows[n++] = left + width, rows[n++] = y;
    }
    sink.set_texturing(false);
    sink.set_colour(0.08f, 0.08f, 0.12f);
    sink.lines(rows, n / 2);
    sink.set_colour(1, 1, 0);
    const float frame[8] = {left, top, left + width, top, left + width, top + height, left, top + height};
    sink.line_loop(frame, 4);
    for (int32_t k = 0; k < count; ++k) {
        char gbk[256];
        platform_utf8_to_gbk(help_lines[k], gbk, sizeof gbk);
        char16_t wide[256];
        to_wide(gbk, wide, 256);
        sink.set_colour(k == 0 ? 1.0f : 0.9f, k == 0 ? 1.0f : 0.9f, k == 0 ? 0.0f : 0.9f);
        draw_label_scaled(screen, wide, left + 16 * scale, top + (28 + line * static_cast<float>(k)) * scale, scale);
    }
    sink.set_texturing(false);
}

}  // namespace

namespace {
// The status line's left end, and the room kept before the close entry.
constexpr int32_t status_left = 440, status_gap = 10;
// The width the line keeps at least, where the window allows.
constexpr int32_t status_room = 360;
}  // namespace

void draw_menu_entries(const Screen& screen, const Input_state& input, const Scene& scene) {
    // All boxes, then all labels: each kind is drawn in one go.
    each_entry(input, scene, [&](const menu_unit& m, bool hovered, bool active, const char*, int) {
        draw_box(screen.sink, m, hovered, active);
    });
    each_entry(input, scene, [&](const menu_unit& m, bool hovered, bool active, const char* suffix, int inset) {
        draw_entry_label(screen, m, hovered, active, suffix, inset);
    });
}

void draw_status_and_help(const Screen& screen, const Input_state& input, const Status_line& status,
                          const Scene& scene) {
    if (status.text()[0]) {
        // One line from x 440 up to the close entry's box (a failure in red).
        char16_t wide[256];
        to_wide(status.text(), wide, 256);
        if (status.status_is_failure())
            screen.sink.set_colour(1, 0.3f, 0.3f);
        else
            screen.sink.set_colour(1, 1, 0);
        // In a narrow window the line starts nearer the left edge, so that
        // a failure is always seen (the entries it then covers are the
        // toolbar's, which the window could not show whole anyway).
        // (It ends before the close entry, or at the drawing area's edge.)
        const int32_t right = std::min(scene.toolbar_menu[toolbar_close].x, scene.view_width);
        const int32_t left = std::clamp(right - status_gap - status_room, 8, status_left);
        draw_label_fitted(screen, wide, left, 36, std::max(0, right - status_gap - left));
    }
    screen.sink.set_texturing(false);
    if (input.help_shown) draw_help(screen, scene);
}
