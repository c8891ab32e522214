// Delete, undo and redo through the input handlers: random edit sequences
// undone and redone in full, typing as one step, the history's bounds, and
// what a removal leaves in the script and the palette.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "scene/pools.h"
#include "scene/view_state.h"
#include "ui/edit_steps.h"
#include "ui/keyboard.h"
#include "ui/menus.h"
#include "ui/mouse.h"
#include "ui/window_ops.h"
#include "ui/window_state.h"

#include "tests/unit/test_scene.h"

static Scene& scene = test_scene();
static Ui_state& ui = test_ui();

using std::make_tuple;

namespace {

class Undo_test : public ::testing::Test {
protected:
    void SetUp() override {
        ui.window.ops.quit = [](int) { ADD_FAILURE() << "an edit ended the program"; };
        ui.window.w = client_start_w + window_frame_w;
        ui.window.h = client_start_h + window_frame_h;
        build_layout(scene);
        scene.toolbar_menu[toolbar_close].x = ui.window.close_entry_x();
        lay_out_boards(scene);
        settle_positions_on_sign(scene);
        start_editor_history(ui.history, ui.status, scene);
    }
};

// The scene's bytes, the view that follows the window (mouse, drawing
// area, close entry) taken from `like`.
std::vector<uint8_t> content(const Scene& s, const Scene& like) {
    static Scene copy;
    std::memcpy(static_cast<void*>(&copy), static_cast<const void*>(&s), sizeof s);
    copy.mouse_x = like.mouse_x, copy.mouse_y = like.mouse_y;
    copy.view_width = like.view_width, copy.view_height = like.view_height;
    copy.toolbar_menu[toolbar_close].x = like.toolbar_menu[toolbar_close].x;
    const auto* b = reinterpret_cast<const uint8_t*>(&copy);
    return std::vector<uint8_t>(b, b + sizeof copy);
}

void click(int x, int y) {
    on_mouse(ui, scene, mouse_left, mouse_down, x, y);
    on_mouse(ui, scene, mouse_left, mouse_up, x, y);
}

void drag(int x0, int y0, int x1, int y1) {
    on_mouse(ui, scene, mouse_left, mouse_down, x0, y0);
    on_motion(ui, scene, (x0 + x1) / 2, (y0 + y1) / 2);
    on_motion(ui, scene, x1, y1);
    on_mouse(ui, scene, mouse_left, mouse_up, x1, y1);
}

void type(const char* keys) {
    for (const char* k = keys; *k; ++k) on_key(ui, scene, static_cast<uint8_t>(*k), 0, 0);
}

// A point inside palette element i's box.
void palette_point(int i, int* x, int* y) {
    uint32_t px, py;
    palette_place(i, &px, &py);
    *x = static_cast<int>(px) + (i == 33 ? 0 : 3);
    *y = static_cast<int>(py) + (i == 33 ? 0 : 3);
}

void entry_centre(const menu_unit& m, int* x, int* y) {
    *x = m.x + entry_box_width(m) / 2;
    *y = m.y;
}

// One random edit an operator could make with the mouse and keys (never
// the close or download entries).
void random_edit(std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const led_unit& b = scene.board_at(0, 0);
    const int bx = b.x + pick(4, 400), by = b.y + pick(4, 240);
    int x, y;
    switch (pick(0, 13)) {
        case 0:
        case 1:   // a palette element onto the sign
            palette_point(pick(0, 1) ? pick(31, 36) : pick(0, 30), &x, &y);
            drag(x, y, bx, by);
            break;
        case 2:   // press somewhere (an element, a board, nothing) and drag a little
            drag(pick(0, 1199), pick(60, 800), pick(0, 1199), pick(60, 800));
            break;
        case 3: {   // a placed element held while a key changes it
            on_mouse(ui, scene, mouse_left, mouse_down, pick(260, 900), pick(230, 600));
            static const int keys[] = {key_left, key_right, key_up, key_down, key_page_up, key_page_down};
            on_special_key(ui, scene, keys[pick(0, 5)], 0, 0);
            on_mouse(ui, scene, mouse_left, mouse_up, 0, 0);
            break;
        }
        case 4: {   // a text picked (new texts lie at the sign's corner), then typed into
            if (pick(0, 1))
                click(b.x + 3, b.y + 3);
            else
                click(pick(260, 900), pick(230, 600));
            char keys[6] = {};
            for (int k = 0, n = pick(1, 5); k < n; ++k) keys[k] = static_cast<char>(pick('a', 'z'));
            type(keys);
            break;
        }
        case 5: {
            static const uint8_t ctrl[] = {1, 2, 4, 5, 6, 7, 8, 11, 12, 14, 17};
            on_key(ui, scene, ctrl[pick(0, 10)], 0, 0);
            break;
        }
        case 6: {   // the count, brightness and panel-type entries
            static const int ids[] = {toolbar_columns_up, toolbar_columns_down, toolbar_rows_up,
                                      toolbar_rows_down};
            const int which = pick(0, 7);
            if (which < 4)
                entry_centre(scene.toolbar_menu[ids[which]], &x, &y);
            else if (which < 6)
                entry_centre(scene.brightness_menu[which - 4], &x, &y);
            else
                entry_centre(scene.panel_type_menu[pick(0, 3)], &x, &y);
            click(x, y);
            break;
        }
        case 7:   // drawing mode on or off
            entry_centre(scene.toolbar_menu[toolbar_draw_rect], &x, &y);
            click(x, y);
            break;
        case 8:   // a corner of a measured rectangle (in drawing mode), the rubber band after it
            click(bx, by);
            on_passive_motion(ui, scene, bx + pick(-60, 60), by + pick(-60, 60));
            break;
        case 9:   // the last measured rectangle taken back
            entry_centre(scene.toolbar_menu[toolbar_undo], &x, &y);
            click(x, y);
            break;
        case 10:
            click(pick(260, 900), pick(230, 600));
            on_key(ui, scene, 127, 0, 0);
            break;
        case 11:
            click(pick(260, 900), pick(230, 600));
            paste_text(ui, scene, "中文 ab");
            break;
        case 12:
            on_mouse(ui, scene, mouse_right, mouse_down, pick(0, 1199), pick(0, 800));
            break;
        default:   // the sign's first text, held and deleted
            click(b.x + 3, b.y + 3);
            on_mouse(ui, scene, mouse_left, mouse_down, b.x + 3, b.y + 3);
            on_key(ui, scene, 127, 0, 0);
            on_mouse(ui, scene, mouse_left, mouse_up, b.x + 3, b.y + 3);
            break;
    }
}

}  // namespace

// Random sequences of edits (VANTIRO_UNDO_SEQUENCES of them, 1,000 by
// default), undone in full, give back the scene byte for byte; redone in
// full, they reach the same end.
TEST_F(Undo_test, EveryEditSequenceUndoesAndRedoesExactly) {
    const char* asked = std::getenv("VANTIRO_UNDO_SEQUENCES");
    const int sequences = asked && std::atoi(asked) > 0 ? std::atoi(asked) : 1000;
    static Scene start;
    std::memcpy(static_cast<void*>(&start), static_cast<const void*>(&scene), sizeof scene);
    std::mt19937 rng(20261208);
    int steps_seen = 0;
    for (int sequence = 0; sequence < sequences; ++sequence) {
        std::memcpy(static_cast<void*>(&scene), static_cast<const void*>(&start), sizeof scene);
        reset_ui_state(ui);
        ui.window.w = client_start_w + window_frame_w;
        ui.window.h = client_start_h + window_frame_h;
        start_editor_history(ui.history, ui.status, scene);

        const int edits = std::uniform_int_distribution<int>(1, 24)(rng);
        for (int e = 0; e < edits; ++e) random_edit(rng);
        if (ui.input.draw_mode && (ui.input.corner_clicks & 1)) click(scene.board_at(0, 0).x + 9, scene.board_at(0, 0).y + 9);
        const std::vector<uint8_t> after = content(scene, scene);
        const int steps = ui.history.undo_steps();
        steps_seen += steps;

        undo_edit(ui, scene);
        for (int k = 0; k < 300 && ui.history.undo_steps() > 0; ++k) undo_edit(ui, scene);
        ASSERT_EQ(ui.history.undo_steps(), 0) << "sequence " << sequence;
        ASSERT_TRUE(content(scene, scene) == content(start, scene))
            << "sequence " << sequence << ": " << steps << " steps undone do not give the start back";
        for (int k = 0; k < 300 && ui.history.redo_steps() > 0; ++k) redo_edit(ui, scene);
        ASSERT_EQ(ui.history.undo_steps(), steps) << "sequence " << sequence;
        // (With no step at all, a new selection was all there was: undone too.)
        ASSERT_TRUE((steps ? after : content(start, scene)) == content(scene, scene))
            << "sequence " << sequence << ": redone, a different end";
    }
    EXPECT_GT(steps_seen, 3 * sequences);   // the sequences do edit
}

// A run of typing is one step; an edit between two runs splits them; a
// click alone is no step; redo is gone after a new edit.
TEST_F(Undo_test, TypingIsOneStepAndSelectionAloneIsNone) {
    on_key(ui, scene, 5, 0, 0);   // Ctrl+E: "Txt" at the sign's corner, in record 5
    const string_draw& t = scene.string_draws[5];
    ASSERT_STREQ(t.text, "Txt");
    click(t.x + 3, t.y + 3);
    click(t.x + 3, t.y + 3);
    EXPECT_EQ(ui.history.undo_steps(), 1);   // the new text; the clicks select only
    type("hello");
    on_key(ui, scene, 11, 0, 0);   // Ctrl+K: colour
    type("ab");
    EXPECT_STREQ(t.text, "Txthelloab");
    undo_edit(ui, scene);
    EXPECT_STREQ(t.text, "Txthello");
    undo_edit(ui, scene);
    EXPECT_EQ(t.colour, 0);
    undo_edit(ui, scene);
    EXPECT_STREQ(t.text, "Txt");
    EXPECT_EQ(scene.selected_text, 5);   // selected as it was before the typing
    redo_edit(ui, scene);
    EXPECT_STREQ(t.text, "Txthello");
    type("z");   // an edit after an undo: what was undone cannot come back
    redo_edit(ui, scene);
    EXPECT_STREQ(t.text, "Txthelloz");
    EXPECT_EQ(ui.history.redo_steps(), 0);
    on_key(ui, scene, 25, 0, 0);   // Ctrl+Y and Ctrl+Z never type into the text
    on_key(ui, scene, 26, 0, 0);
    EXPECT_STREQ(t.text, "Txthello");
}

// 300 edits keep at least the newest 200 as steps, in the fixed memory;
// an open rectangle is dropped by an undo.
TEST_F(Undo_test, TheHistoryKeepsTwoHundredStepsInItsBound) {
    for (int k = 0; k < 300; ++k) on_key(ui, scene, k % 2 ? 17 : 1, 0, 0);   // zoom in, out
    EXPECT_GE(ui.history.undo_steps(), 200);
    EXPECT_LE(ui.history.undo_steps(), Edit_history::max_steps);
    EXPECT_LE(ui.history.bytes_used(), Edit_history::step_buffer_bytes);

    int x, y;
    entry_centre(scene.toolbar_menu[toolbar_draw_rect], &x, &y);
    click(x, y);
    const int32_t rects = scene.graph_count;
    click(600, 400);
    on_passive_motion(ui, scene, 700, 450);
    EXPECT_EQ(scene.graph_count, rects + 1);
    undo_edit(ui, scene);
    EXPECT_EQ(scene.graph_count, rects);
    EXPECT_EQ(scene.graph_draws[rects].in_use, 0);
    EXPECT_EQ(ui.input.corner_clicks & 1, 0);
}

// Delete: a shape goes back to its palette place (the palette is whole
// and gives the same record again), a text is cleared out of the script,
// a measured rectangle is out of use; undo brings each back.
TEST_F(Undo_test, DeleteRemovesFromTheSceneAndTheScript) {
    const led_unit& b = scene.board_at(0, 0);
    int x, y;
    palette_point(36, &x, &y);   // the rectangle
    drag(x, y, b.x + 21, b.y + 21);
    on_key(ui, scene, 5, 0, 0);   // a text at the corner
    const std::string with_both = script_of(scene);
    ASSERT_NE(with_both.find("led r"), std::string::npos) << with_both;
    ASSERT_NE(with_both.find("Txt"), std::string::npos) << with_both;

    click(b.x + 25, b.y + 25);
    ASSERT_EQ(scene.selected_digit_col, 36);
    on_key(ui, scene, 127, 0, 0);
    EXPECT_EQ(script_of(scene).find("led r"), std::string::npos);
    EXPECT_EQ(scene.selected_digit_col, no_digit);
    palette_point(36, &x, &y);
    click(x, y);
    EXPECT_EQ(scene.selected_digit_row, 0);   // the same record, back in the palette
    EXPECT_EQ(scene.selected_digit_col, 36);

    click(b.x + 3, b.y + 3);
    ASSERT_EQ(scene.selected_text, 5);
    on_key(ui, scene, 127, 0, 0);
    EXPECT_EQ(script_of(scene).find("Txt"), std::string::npos);
    click(b.x + 3, b.y + 3);
    EXPECT_EQ(scene.selected_text, no_text);   // nothing left to click
    on_key(ui, scene, 5, 0, 0);   // Ctrl+E takes the deleted record again
    EXPECT_EQ(scene.text_count, 5);
    EXPECT_STREQ(scene.string_draws[5].text, "Txt");
    undo_edit(ui, scene);
    undo_edit(ui, scene);
    undo_edit(ui, scene);
    EXPECT_EQ(script_of(scene), with_both);

    entry_centre(scene.toolbar_menu[toolbar_draw_rect], &x, &y);
    click(x, y);
    click(900, 600);   // off the sign: a click inside finds the rectangle
    on_passive_motion(ui, scene, 1000, 700);
    click(1000, 700);
    click(x, y);
    ASSERT_EQ(scene.graph_count, 1);
    click(950, 650);
    ASSERT_EQ(scene.selected_graph, 0);
    on_key(ui, scene, 127, 0, 0);
    EXPECT_EQ(scene.graph_count, 0);
    EXPECT_EQ(scene.graph_draws[0].in_use, 0);

    // One drawn on the sign: a press inside takes it, not the board under
    // it; Delete removes it, and the next Ctrl+Z brings it back.
    click(x, y);
    click(b.x + 150, b.y + 100);   // (clear of the text at the sign's corner)
    on_passive_motion(ui, scene, b.x + 250, b.y + 150);
    click(b.x + 250, b.y + 150);
    click(x, y);
    ASSERT_EQ(scene.graph_count, 1);
    click(b.x + 200, b.y + 120);
    ASSERT_EQ(make_tuple(int(scene.selected_graph), int(scene.selected_board_col)), make_tuple(0, int(no_board)));
    on_special_key(ui, scene, key_delete, 0, 0);   // the keypad's Delete
    EXPECT_EQ(make_tuple(scene.graph_count, scene.graph_draws[0].in_use), make_tuple(0, 0));
    on_key(ui, scene, 26, 0, 0);   // Ctrl+Z
    EXPECT_EQ(make_tuple(scene.graph_count, scene.graph_draws[0].in_use), make_tuple(1, 1));
}
