// Menus and the mouse: hit tests, toolbar actions, selection and dragging,
// measured rectangles, and moving and resizing the window.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/scene_files/scene_files.h"
#include "app/startup.h"
#include "scene/pools.h"
#include "tests/unit/temp_dir.h"
#include "scene/view_state.h"
#include "platform/platform.h"
#include "scene/status_line.h"
#include "ui/app_requests.h"
#include "ui/keyboard.h"
#include "ui/menus.h"
#include "ui/mouse.h"
#include "ui/window_ops.h"
#include "ui/window_state.h"

#include "tests/unit/test_app.h"
#include "tests/unit/test_scene.h"

// The scene under test (reset before every test).
static Scene& scene = test_scene();
static Ui_state& ui = test_ui();

namespace {

using std::make_tuple;

// What the handlers asked of the window system.
struct Window_log {
    std::vector<int> cursors;
    int moves = 0, reshapes = 0, quit_status = -1;
    int last_w = 0, last_h = 0;
    int pointer_x = 0, pointer_y = 0;
};
Window_log wlog;

class Ui_test : public ::testing::Test {
protected:
    void SetUp() override {
        wlog = Window_log{};
        ui.window.ops.position = [](int, int) { ++wlog.moves; };
        ui.window.ops.reshape = [](int w, int h) { ++wlog.reshapes, wlog.last_w = w, wlog.last_h = h; };
        ui.window.ops.set_cursor = [](int shape) { wlog.cursors.push_back(shape); };
        ui.window.ops.pointer = [](int* x, int* y) { *x = wlog.pointer_x, *y = wlog.pointer_y; return true; };
        ui.window.ops.quit = [](int status) { wlog.quit_status = status; };
        set_dot_pitch(scene, 2);
        ui.window.x = ui.window.y = 50;
        ui.window.w = 1216;
        ui.window.h = 840;
        build_layout(scene);
        scene.toolbar_menu[toolbar_close].x = ui.window.close_entry_x();
    }

    void click(int x, int y, int times = 1) {
        for (int i = 0; i < times; ++i) on_mouse(ui, scene, mouse_left, mouse_down, x, y), on_mouse(ui, scene, mouse_left, mouse_up, x, y);
    }
    static void place_graph(int k, int x, int y, int w, int h) {
        scene.graph_draws[k] = graph_draw{};
        scene.graph_draws[k].x = x, scene.graph_draws[k].y = y, scene.graph_draws[k].width = w, scene.graph_draws[k].height = h;
        scene.graph_draws[k].in_use = 1;
    }
};

// Entry hit boxes are strict on every side; hovering records the entry under the mouse.
TEST_F(Ui_test, EntryHitBoxesAreStrictOnEverySideAndHoverFindsThem) {
    const struct { const menu_unit* menu; int count, x, y, want; } cases[] = {
        {scene.toolbar_menu, toolbar_menu_count, 700, 80, toolbar_columns_up},
        {scene.toolbar_menu, toolbar_menu_count, 744, 80, -1},
        {scene.toolbar_menu, toolbar_menu_count, 680, 80, -1},
        {scene.toolbar_menu, toolbar_menu_count, 700, 65, -1},
        {scene.toolbar_menu, toolbar_menu_count, 700, 94, toolbar_columns_up},
        {scene.toolbar_menu, toolbar_menu_count, 700, 120, toolbar_columns_down},
        {scene.toolbar_menu, toolbar_menu_count, 1195, 30, toolbar_close},
        {scene.brightness_menu, brightness_menu_count, 510, 80, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(menu_hit(c.menu, c.count, c.x, c.y), c.want) << c.x << "," << c.y;
    on_passive_motion(ui, scene, 700, 80);
    EXPECT_EQ(make_tuple(ui.input.hover_toolbar, ui.input.hover_brightness), make_tuple(toolbar_columns_up, 0xFF));
    on_passive_motion(ui, scene, 40, 120);
    EXPECT_EQ(make_tuple(ui.input.hover_panel_type, ui.input.hover_toolbar), make_tuple(1, 0xFF));
}

// Count entries step within the grid and show the count; brightness stays in 0..8; a panel entry takes the press.
TEST_F(Ui_test, CountBrightnessAndPanelTypeEntriesAct) {
    click(700, 120, 2);   // columns down, past 0
    EXPECT_EQ(make_tuple(scene.board_columns, scene.export_columns), make_tuple(0, 0));
    click(700, 80, 9);    // columns up, past 6
    EXPECT_EQ(make_tuple(scene.board_columns, scene.export_columns, scene.toolbar_menu[toolbar_columns_up].value), make_tuple(6, 6, 6));
    click(800, 80, 9);    // rows up, past 4
    EXPECT_EQ(make_tuple(scene.board_rows, scene.toolbar_menu[toolbar_rows_up].value), make_tuple(4, 4));
    click(800, 120, 9);   // rows down
    EXPECT_EQ(make_tuple(scene.board_rows, scene.toolbar_menu[toolbar_rows_up].value, int(ui.input.menu_grabbed)), make_tuple(0, 0, 0));
    click(510, 80);       // brightness +: already at the top
    EXPECT_EQ(scene.brightness_level, 8);
    click(510, 120, 10);
    EXPECT_EQ(scene.brightness_level, 0);
    click(510, 80);
    EXPECT_EQ(scene.brightness_level, 1);
    click(200, 120);      // "□ 12 数据负"
    EXPECT_EQ(make_tuple(int(scene.panel_type), scene.selected_digit_col), make_tuple(3, no_digit));
}

// Drawing mode toggles with its entry and keeps the crosshair, except on a border.
TEST_F(Ui_test, DrawRectangleTogglesModeAndCursorAndTheCrosshairStays) {
    click(380, 80);
    ASSERT_FALSE(wlog.cursors.empty());
    EXPECT_EQ(make_tuple(int(ui.input.draw_mode), wlog.cursors.back()), make_tuple(1, cursor_crosshair));
    on_passive_motion(ui, scene, 600, 400);
    EXPECT_EQ(wlog.cursors.back(), cursor_crosshair);
    on_passive_motion(ui, scene, 2, 400);   // the left border zone
    EXPECT_EQ(wlog.cursors.back(), cursor_right_side);
    click(380, 80);
    EXPECT_EQ(ui.input.draw_mode, 0);
    on_passive_motion(ui, scene, 600, 400);
    EXPECT_EQ(wlog.cursors.back(), cursor_right_arrow);
}

// Corner clicks open and close a rectangle that follows the mouse; any record past 255 can be dragged.
TEST_F(Ui_test, MeasuredRectangleFollowsTheMouseAndCanBeSelected) {
    click(380, 80);   // drawing on
    scene.graph_count = 0;
    click(260, 150);
    EXPECT_EQ(make_tuple(scene.graph_count, ui.input.corner_clicks & 1), make_tuple(1, 1));
    on_passive_motion(ui, scene, 300, 170);
    EXPECT_EQ(make_tuple(scene.graph_draws[0].width, scene.graph_draws[0].height), make_tuple(20, 10));
    on_passive_motion(ui, scene, 240, 170);
    EXPECT_EQ(scene.graph_draws[0].width, 2147483638);   // left-running
    click(251, 170);   // closes it (a click at x <= 250 would place no corner)
    EXPECT_EQ(make_tuple(scene.graph_count, ui.input.corner_clicks & 1), make_tuple(1, 0));
    click(380, 80);   // drawing off
    on_mouse(ui, scene, mouse_left, mouse_down, 250, 160);
    EXPECT_EQ(make_tuple(int(scene.selected_graph), int(ui.input.graph_grabbed)), make_tuple(0, 1));
    on_motion(ui, scene, 255, 165);
    EXPECT_EQ(scene.graph_draws[0].x, 265);
    on_mouse(ui, scene, mouse_left, mouse_up, 255, 165);

    place_graph(0, 400, 400, 10, 0);
    on_mouse(ui, scene, mouse_left, mouse_down, 405, 400);
    EXPECT_EQ(make_tuple(int(scene.selected_graph), int(ui.input.graph_grabbed)), make_tuple(int(no_graph), 0));   // nothing chosen
    on_mouse(ui, scene, mouse_left, mouse_up, 405, 400);

    scene.graph_count = 300;
    for (int k = 0; k < 300; ++k) scene.graph_draws[k] = graph_draw();
    place_graph(299, 600, 600, 10, 10);
    on_mouse(ui, scene, mouse_left, mouse_down, 605, 605);
    EXPECT_EQ(scene.selected_graph, 299);
    on_motion(ui, scene, 615, 605);
    on_mouse(ui, scene, mouse_left, mouse_up, 615, 605);
    EXPECT_EQ(make_tuple(scene.graph_draws[299].x, scene.graph_draws[299 - 256].x), make_tuple(610, 0));
}

// A click on empty space leaves no rectangle selected, whatever number of
// them is in use, so none of them draws as selected.
TEST_F(Ui_test, AClickOnEmptySpaceSelectsNoRectangle) {
    for (int in_use : {20, graph_draw_count}) {
        scene.graph_count = in_use;
        for (int k = 0; k < in_use; ++k) place_graph(k, 260 + 20 * (k % 20), 160 + 20 * (k / 20), 10, 10);
        for (int k = 0; k < in_use; ++k) scene.graph_draws[k].in_use = 1;
        on_mouse(ui, scene, mouse_left, mouse_down, 265 + 20 * 5, 165);   // rectangle 5
        ASSERT_EQ(scene.selected_graph, 5) << in_use;
        on_mouse(ui, scene, mouse_left, mouse_up, 265 + 20 * 5, 165);
        on_mouse(ui, scene, mouse_left, mouse_down, 1000, 700);   // empty space: the window drags
        EXPECT_EQ(ui.input.window_dragging, 1) << in_use;
        EXPECT_GE(int(scene.selected_graph), in_use) << in_use;
        EXPECT_EQ(scene.selected_graph, no_graph) << in_use;
        on_mouse(ui, scene, mouse_left, mouse_up, 1000, 700);
    }
}

// Undo removes the last rectangle and closes an open one, only while drawing; full pools take no corner.
TEST_F(Ui_test, UndoAndFullPoolsOfMeasuredRectangles) {
    click(380, 80);   // drawing on
    scene.graph_count = 0;
    ui.input.corner_clicks = 0;
    click(300, 300);
    on_passive_motion(ui, scene, 400, 350);
    click(400, 350);
    click(500, 500);   // opens a second
    EXPECT_EQ(scene.graph_count, 2);
    click(380, 120);   // undo: the open one goes, and it is closed
    EXPECT_EQ(make_tuple(scene.graph_count, ui.input.corner_clicks & 1), make_tuple(1, 0));
    on_passive_motion(ui, scene, 600, 600);
    EXPECT_EQ(make_tuple(scene.graph_draws[0].width, scene.graph_draws[0].height), make_tuple(50, 25));   // left alone
    click(380, 80);   // drawing off: undo does nothing
    click(380, 120);
    EXPECT_EQ(scene.graph_count, 1);

    click(380, 80);
    for (int open : {0, 1}) {   // a new corner is refused; closing the last record's writes nothing past the pool
        scene.graph_count = graph_draw_count;
        ui.input.corner_clicks = static_cast<uint8_t>(open);
        click(300, 300);
        EXPECT_EQ(make_tuple(scene.graph_count, ui.input.corner_clicks), make_tuple(graph_draw_count, 2 * open)) << open;
    }
}

// A palette press takes group 0's copy first, then the next group's; the drop lands on the LED it lies in.
TEST_F(Ui_test, PaletteCopiesAreTakenGroupZeroFirst) {
    // The palette circle has a centred box: 210 < x < 250, 356 < y < 396.
    on_mouse(ui, scene, mouse_left, mouse_down, 211, 357);
    EXPECT_EQ(make_tuple(scene.selected_digit_row, scene.selected_digit_col), make_tuple(0, 33));
    on_motion(ui, scene, 500, 300);
    on_mouse(ui, scene, mouse_left, mouse_up, 500, 300);
    // Dropped on board 0 (corner 276, pitch 2).
    EXPECT_EQ(scene.digit_at(0, 33).x, 276u + (500u - (211 - 230) - 276u) / 2 * 2);
    EXPECT_EQ(scene.digit_at(0, 33).y, 226u + (300u - (357 - 376) - 226u) / 2 * 2);
    on_mouse(ui, scene, mouse_left, mouse_down, 249, 395);
    EXPECT_EQ(make_tuple(scene.selected_digit_row, scene.selected_digit_col), make_tuple(1, 33));
    on_mouse(ui, scene, mouse_left, mouse_up, 249, 395);
    on_mouse(ui, scene, mouse_left, mouse_down, 250, 376);
    EXPECT_EQ(scene.selected_digit_col, no_digit);   // outside the box
}

// Texts, then boards, are selected when nothing above them is; else the press drags the window.
TEST_F(Ui_test, TextsAndBoardsAreSelectedWhenNothingAboveThemIs) {
    on_mouse(ui, scene, mouse_left, mouse_down, 90, 540);   // left-panel text 0
    EXPECT_EQ(make_tuple(scene.selected_text, ui.input.text_grabbed), make_tuple(0, 1));
    on_mouse(ui, scene, mouse_left, mouse_up, 90, 540);
    on_mouse(ui, scene, mouse_left, mouse_down, 600, 300);  // inside board 0
    EXPECT_EQ(make_tuple(scene.selected_board_col, scene.selected_board_row), make_tuple(0, 0));
    on_mouse(ui, scene, mouse_left, mouse_up, 600, 300);
    scene.board_columns = 0;                           // no column in use
    on_mouse(ui, scene, mouse_left, mouse_down, 600, 300);
    EXPECT_EQ(make_tuple(scene.selected_board_col, ui.input.window_dragging), make_tuple(no_board, 1));
    on_mouse(ui, scene, mouse_right, mouse_down, 600, 300);
    EXPECT_EQ(scene.selected_graph, no_graph);
}

// The input's state is the value each handler is given: a text held in one
// editor's state is dragged by that state's motion only.
TEST_F(Ui_test, AHeldTextMovesOnlyWithTheStateThatHoldsIt) {
    static Ui_state other;   // a second editor's (static: its undo table is large)
    reset_ui_state(other);
    on_mouse(ui, scene, mouse_left, mouse_down, 90, 540);   // left-panel text 0 at (85, 535)
    EXPECT_EQ(make_tuple(ui.input.text_grabbed, other.input.text_grabbed), make_tuple(1, 0));
    on_motion(other, scene, 400, 300);   // nothing held there: nothing moves
    EXPECT_EQ(make_tuple(scene.string_draws[0].x, scene.string_draws[0].y), make_tuple(85u, 535u));
    on_motion(ui, scene, 400, 300);      // held 5 pixels from its corner
    EXPECT_EQ(make_tuple(scene.string_draws[0].x, scene.string_draws[0].y), make_tuple(395u, 295u));
    on_mouse(ui, scene, mouse_left, mouse_up, 400, 300);
    EXPECT_EQ(ui.input.text_grabbed, 0);
}

// Empty space moves the window; a border zone resizes it from that edge, the client area and close entry following.
TEST_F(Ui_test, DraggingMovesOrResizesTheWindow) {
    const struct { const char* what; int press_x, press_y, dx, dy, edge, x, y, w, h, moves, reshapes; } cases[] = {
        {"empty space", 1000, 600, 30, 0, 0, 80, 50, 1216, 840, 1, 0},
        {"top-left corner", 3, 3, -10, -10, 1, 40, 40, 1226, 850, 1, 1},
        {"right edge", 1197, 400, 20, 0, 6, 50, 50, 1236, 840, 0, 1},
        // Past the opposite edge: the least client area, 400 x 300, the far edge put.
        {"left edge past the right", 3, 400, 2000, 0, 2, 50 + 1216 - 416, 50, 416, 840, 1, 1},
        {"top edge past the bottom", 600, 3, 0, 2000, 8, 50, 50 + 840 - 339, 1216, 339, 1, 1},
    };
    for (const auto& c : cases) {
        SetUp();   // the window back at its start
        wlog.pointer_x = ui.window.x + c.press_x, wlog.pointer_y = ui.window.y + c.press_y;
        on_mouse(ui, scene, mouse_left, mouse_down, c.press_x, c.press_y);
        EXPECT_EQ(make_tuple(ui.input.resize_edge, ui.input.window_dragging), make_tuple(c.edge, 1)) << c.what;
        wlog.pointer_x += c.dx, wlog.pointer_y += c.dy;
        on_motion(ui, scene, c.press_x + c.dx, c.press_y + c.dy);
        EXPECT_EQ(make_tuple(ui.window.x, ui.window.y, ui.window.w, ui.window.h), make_tuple(c.x, c.y, c.w, c.h)) << c.what;
        EXPECT_EQ(make_tuple(wlog.moves > 0, wlog.reshapes > 0), make_tuple(c.moves > 0, c.reshapes > 0)) << c.what;
        if (c.reshapes) {
            EXPECT_EQ(make_tuple(wlog.last_w, wlog.last_h, scene.toolbar_menu[toolbar_close].x),
                      make_tuple(c.w - 16, c.h - 39, c.w - 16 - 24)) << c.what;
        }
        on_mouse(ui, scene, mouse_left, mouse_up, c.press_x + c.dx, c.press_y + c.dy);
        EXPECT_EQ(ui.input.window_dragging, 0) << c.what;
    }
}

// Border zones cover every edge and corner of the client area.
TEST_F(Ui_test, BorderZonesCoverEveryEdgeOfTheClientArea) {
    const struct { int x, y, zone; } cases[] = {
        {3, 3, 1},      {3, 400, 2},   {3, 798, 3},    {600, 798, 4},  {1197, 798, 5},
        {1197, 400, 6}, {1197, 3, 7},  {600, 3, 8},    {600, 400, 0},  {1194, 795, 0}};
    for (const auto& c : cases) EXPECT_EQ(border_zone(ui.window, c.x, c.y), c.zone) << c.x << "," << c.y;
}

// The close entry ends the program, saving only when start-up asked for it.
TEST_F(Ui_test, CloseEntrySavesAndEndsTheProgram) {
    Test_app& app = test_app();
    Temp_dir dir;
    std::string err;
    ASSERT_TRUE(build_data_paths((dir.path() + "/").c_str(), &app.paths.data, &err));
    for (bool asked : {false, true}) {
        wlog.quit_status = -1;
        if (asked) ui.requests = &app.requests;   // as start-up hands them down
        click(1195, 30);
        EXPECT_EQ(std::ifstream(dir.path() + "/scene.conf").good(), asked);
        EXPECT_EQ(wlog.quit_status, 0);
    }
}

}  // namespace

// Every palette element lies inside the window, clear of board 0 and of the
// other elements; scene files of the first layout bring records at the old
// out-of-window places, which move to the new ones (moved records stay).
TEST_F(Ui_test, ThePaletteLiesInReachAndOldPlacesMove) {
    std::vector<std::tuple<int, int, int, int>> boxes;   // left, top, right, bottom
    for (int i = 0; i < digit_group_size; ++i) {
        const Digit_unit& d = scene.digit_at(0, i);
        const int x = static_cast<int>(d.x), y = static_cast<int>(d.y);
        const int w = 2 * d.width, h = 2 * d.height;
        const bool centred = d.type_code == 512;
        const int l = centred ? x - w : x, t = centred ? y - h : y, r = x + w, b = y + h;
        EXPECT_TRUE(l >= 0 && t >= 0 && r < 1200 && b < 801) << i;
        EXPECT_TRUE(outside_dot_grid(d.x, d.y)) << i;   // fixed at every zoom
        EXPECT_FALSE(l < 276 + 512 && r > 276 && t < 226 + 256 && b > 226) << i << " over board 0";
        for (const auto& [l2, t2, r2, b2] : boxes) EXPECT_FALSE(l < r2 && r > l2 && t < b2 && b > t2) << i;
        boxes.emplace_back(l, t, r, b);
        // A press inside the box takes it (group 0 first).
        on_mouse(ui, scene, mouse_left, mouse_down, centred ? x : x + 1, centred ? y : y + 1);
        EXPECT_EQ(make_tuple(int(scene.selected_digit_row), int(scene.selected_digit_col)), make_tuple(0, i));
        on_mouse(ui, scene, mouse_right, mouse_down, 0, 0);
        ui.input.digit_grabbed = 0;
    }
    // A file of the first layout: every copy of entries 5, 31 and 36 at
    // the old places, one of them moved by the operator. The copies at the
    // old places go to the new ones; the moved one stays.
    const uint32_t x5 = scene.digit_at(0, 5).x, y5 = scene.digit_at(0, 5).y;
    const uint32_t x31 = scene.digit_at(0, 31).x, x36 = scene.digit_at(0, 36).x;
    for (int g = 0; g < digit_groups_in_use; ++g) {
        scene.digit_at(g, 5).x = 90 + 50 * 5, scene.digit_at(g, 5).y = 800, scene.digit_at(g, 5).width = 28;
        scene.digit_at(g, 31).x = 1640, scene.digit_at(g, 31).y = 800;
        scene.digit_at(g, 36).x = 230, scene.digit_at(g, 36).y = 440;
    }
    scene.digit_at(5, 5).x = 400, scene.digit_at(5, 5).y = 300;   // moved by the operator
    move_old_palette_places(scene);
    EXPECT_EQ(make_tuple(scene.digit_at(2, 5).x, scene.digit_at(2, 5).y, scene.digit_at(2, 5).width), make_tuple(x5, y5, 10));
    EXPECT_EQ(make_tuple(scene.digit_at(3, 31).x, scene.digit_at(4, 36).x), make_tuple(x31, x36));
    EXPECT_EQ(make_tuple(scene.digit_at(5, 5).x, scene.digit_at(5, 5).y), make_tuple(400u, 300u));
    // Today's layout: a digit the operator dropped exactly on an old place stays there.
    scene.digit_at(7, 9).x = 90 + 50 * 9, scene.digit_at(7, 9).y = 800;
    move_old_palette_places(scene);
    EXPECT_EQ(make_tuple(scene.digit_at(7, 9).x, scene.digit_at(7, 9).y), make_tuple(uint32_t{90 + 50 * 9}, 800u));
}

// Ctrl+V: the clipboard's UTF-8 goes into the selected text as GBK; what GBK
// lacks is left out and named; the field's 511 bytes hold; code 22 is no byte.
TEST_F(Ui_test, PasteInsertsGbkAndNamesWhatItLeavesOut) {
    static std::string clip;
    static struct Clipboard final : App_requests {
        bool close(const Scene&, Status_line&) override { return false; }
        void download(const Scene&, Status_line&) override {}
        void live_send(const Scene&, Status_line&) override {}
        std::string clipboard_text(Status_line&) override { return clip; }
    } clipboard;
    ui.requests = &clipboard;
    string_draw& s = scene.string_draws[0];
    scene.selected_text = 0;
    s.length = 3;
    std::snprintf(s.text, sizeof s.text, "Txt");
    clip = "你好 world\n😀é";
    on_key(ui, scene, 22, 0, 0);
    char utf8[600];
    platform_gbk_to_utf8(s.text, utf8, sizeof utf8);
    EXPECT_EQ(std::string(utf8), "Txt你好 world é");
    EXPECT_EQ(s.length, static_cast<int32_t>(std::strlen(s.text)));
    platform_gbk_to_utf8(ui.status.text(), utf8, sizeof utf8);
    EXPECT_NE(std::string(utf8).find("(U+1F600)"), std::string::npos) << utf8;
    EXPECT_EQ(std::string(utf8).find("é"), std::string::npos) << utf8;
    clip = std::string(600, 'x') + "中";
    on_key(ui, scene, 22, 0, 0);
    EXPECT_EQ(s.length, 511);
    EXPECT_EQ(s.text[511], '\0');
    platform_gbk_to_utf8(ui.status.text(), utf8, sizeof utf8);
    EXPECT_NE(std::string(utf8).find("full"), std::string::npos) << utf8;
}
