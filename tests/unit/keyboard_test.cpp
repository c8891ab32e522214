// Keyboard: typing, zoom, new elements and the keys that change the
// selected or held element.
#include <gtest/gtest.h>

#include <filesystem>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "app/scene_files/scene_files.h"
#include "app/startup.h"
#include "scene/pools.h"
#include "scene/status_line.h"
#include "scene/view_state.h"
#include "ui/keyboard.h"
#include "ui/menus.h"
#include "ui/mouse.h"
#include "tests/unit/temp_dir.h"
#include "ui/window_ops.h"

#include "tests/unit/test_app.h"
#include "tests/unit/test_scene.h"

// The scene under test (reset before every test).
static Scene& scene = test_scene();
static Ui_state& ui = test_ui();

namespace {

using std::make_tuple;

int quit_status = -1;

class Key_test : public ::testing::Test {
protected:
    void SetUp() override {
        set_dot_pitch(scene, 2);
        build_layout(scene);
        clear_selection(ui.input, scene);
        ui.input.board_grabbed = ui.input.digit_grabbed = ui.input.text_grabbed = 0;
        quit_status = -1;
        ui.window.ops.quit = [](int status) { quit_status = status; };
    }

    void type(const std::string& keys, int times = 1) {
        for (int i = 0; i < times; ++i)
            for (char c : keys) on_key(ui, scene, static_cast<uint8_t>(c), 0, 0);
    }
    void press(int key, int times = 1) {
        for (int i = 0; i < times; ++i) on_special_key(ui, scene, key, 0, 0);
    }
};

// Ctrl+E adds an unselected, inline "Txt" at board 0's corner in the first
// free text record (5: the left panel's are never taken); typing edits the
// selected text only, up to 511 bytes.
TEST_F(Key_test, NewTextGetsTxtAtTheBoardCornerAndTyping) {
    for (int i = 5; i < string_draw_count; ++i) scene.string_draws[i].enabled = 0;   // as a start leaves them
    scene.text_count = 0;
    type("\x05");
    const string_draw& s = scene.string_draws[5];
    EXPECT_EQ(make_tuple(scene.text_count, s.slot, int(s.text_source), scene.selected_text),
              make_tuple(5, 5, 0, int(no_text)));
    EXPECT_EQ(make_tuple(std::string(s.text), s.length, int(s.font_size), s.x, s.y),
              make_tuple("Txt", 3, 16, 276u, 226u));
    EXPECT_EQ(std::string(scene.string_draws[1].text), std::string(string_draw().text));   // the panel keeps its text
    const struct { const char* keys; int selected; const char* want; } steps[] = {
        {"ab", no_text, "Txt"}, {"ab", 5, "Txtab"}, {"\b\b", 5, "Txt"}, {"\b\b\b\b", 5, ""}};
    for (const auto& step : steps) {
        scene.selected_text = static_cast<uint8_t>(step.selected);
        type(step.keys);
        EXPECT_EQ(make_tuple(std::string(s.text), s.length), make_tuple(step.want, int(std::strlen(step.want))))
            << step.keys << " with text " << step.selected << " selected";
    }
    EXPECT_EQ(ui.input.last_key, 8);

    // The panel's text 3 typed into no longer shows my_txt3.txt: its own bytes.
    scene.selected_text = 3;
    EXPECT_EQ(scene.string_draws[3].text_source, 3);
    type("z");
    EXPECT_EQ(scene.string_draws[3].text_source, 0);

    scene.selected_text = 2;
    string_draw& t = scene.string_draws[2];
    t.length = 0;
    t.text[0] = 0;
    type("x", 600);
    EXPECT_EQ(make_tuple(t.length, t.text[510], t.text[511]), make_tuple(511, 'x', '\0'));
    on_key(ui, scene, 0xB0, 0, 0);   // high bytes are stored as they come, when there is room
    EXPECT_EQ(t.length, 511);
}

// Ctrl+E and Ctrl+D take free records only, reuse deleted ones, and say
// when the pool is full; a placed element is never taken.
TEST_F(Key_test, NewElementsTakeFreeRecordsAndStopAtFullPools) {
    for (int i = 5; i < string_draw_count; ++i) scene.string_draws[i].enabled = 0;
    type("\x05", string_draw_count - 5);
    EXPECT_EQ(make_tuple(scene.text_count, std::string(scene.string_draws[39].text)), make_tuple(39, "Txt"));
    ui.status.set_status("");
    type("\x05");   // no record left
    EXPECT_EQ(scene.text_count, 39);
    EXPECT_NE(std::string(ui.status.text()).find("no free text record: delete one"), std::string::npos);
    scene.selected_text = 17;   // Delete frees a record, and the next Ctrl+E takes it
    type("\x7f");
    EXPECT_EQ(scene.string_draws[17].enabled, 0);
    type("\x05");
    EXPECT_EQ(make_tuple(int(scene.string_draws[17].enabled), std::string(scene.string_draws[17].text)),
              make_tuple(1, "Txt"));

    // Group 0's record 1 is placed (dragged off the palette): the first
    // Ctrl+D takes record 2, and leaves record 1 as it was.
    Digit_unit& placed = scene.digit_at(0, 1);
    placed.x = 300, placed.y = 260;
    const Digit_unit before = placed;
    scene.rect_count = 0;
    type("\x04");
    const Digit_unit& r = scene.digit_at(0, 2);
    EXPECT_EQ(make_tuple(scene.rect_count, r.id), make_tuple(2, 11));
    EXPECT_EQ(make_tuple(int(r.kind), r.width, r.height, r.x), make_tuple(int(kind_rect), 20, 10, 276u));
    EXPECT_EQ(std::memcmp(&placed, &before, sizeof before), 0);
    type("\x04", 200);   // 97 more, then the group is full
    EXPECT_EQ(scene.rect_count, 99);
    EXPECT_NE(std::string(ui.status.text()).find("no free shape record: delete one"), std::string::npos);
    EXPECT_EQ(std::memcmp(&placed, &before, sizeof before), 0);
}

// Ctrl+C does nothing: no new element, and the selected text is not typed into.
TEST_F(Key_test, CtrlCAddsNothingAndTypesNothing) {
    for (int i = 5; i < string_draw_count; ++i) scene.string_draws[i].enabled = 0;
    scene.text_count = 0;
    scene.rect_count = 0;
    type("\x05");
    scene.selected_text = 5;
    const Digit_unit before = scene.digit_at(0, 1);
    type("\x03");
    EXPECT_EQ(make_tuple(std::string(scene.string_draws[5].text), scene.string_draws[5].length), make_tuple("Txt", 3));
    EXPECT_EQ(make_tuple(scene.rect_count, scene.text_count), make_tuple(0, 5));
    EXPECT_EQ(std::memcmp(&scene.digit_at(0, 1), &before, sizeof before), 0);
}

// Ctrl+A and Ctrl+Q zoom within 2..255.
TEST_F(Key_test, ZoomStaysWithinTwoTo255) {
    const struct { const char* key; int times, want; } steps[] = {
        {"\x01", 1, 2}, {"\x11", 1, 3}, {"\x01", 1, 2}, {"\x11", 300, 255}};
    for (const auto& step : steps) {
        type(step.key, step.times);
        EXPECT_EQ(scene.dot_pitch, step.want) << int(step.key[0]) << " x" << step.times;
    }
}

// Control keys on the selected text: sizes cycle 12-16-24-32 (Ctrl+L: 12), colours without overflow, width, bold.
TEST_F(Key_test, ControlKeysOnTheSelectedText) {
    scene.selected_text = 0;
    string_draw& s = scene.string_draws[0];
    ui.input.size_cycle = 0;
    std::vector<int> sizes;
    for (int i = 0; i < 5; ++i) type("\x06"), sizes.push_back(s.font_size);
    EXPECT_EQ(sizes, (std::vector<int>{12, 16, 24, 32, 12}));
    type("\x0C");
    EXPECT_EQ(s.font_size, 12);
    s.colour = 2;
    type("\x0B");
    EXPECT_EQ(s.colour, 0);
    s.colour = INT32_MAX;   // a replayed colour of any 32 bits steps without overflow
    type("\x0B");
    EXPECT_EQ(s.colour, 2);
    type("\x07\x07\x0E");   // the width keys: the box still follows the text
    EXPECT_EQ(s.width, s.font_size / 2 * s.length);
    type("\x02");
    EXPECT_EQ(s.bold_flag, 1);
}

// Ctrl+S ends the program without saving; the close entry saves.
TEST_F(Key_test, CtrlSEndsWithoutSaving) {
    Test_app& app = test_app();
    Temp_dir dir;
    std::string err;
    ASSERT_TRUE(build_data_paths((dir.path() + "/").c_str(), &app.paths.data, &err)) << err;
    ui.requests = &app.requests;   // as start-up hands them down
    scene.string_draws[0].x = 400;                 // something to save
    type("\x13");
    EXPECT_EQ(quit_status, 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));   // not one scene file written
    // The close entry, for contrast, does save into the same folder.
    toolbar_action(ui, scene, toolbar_close);
    EXPECT_FALSE(std::filesystem::is_empty(dir.path()));
}

// Up and Down step a held board's height between 16 and 32, only while held.
TEST_F(Key_test, HeldBoardHeightStepsBetweenSixteenAndThirtyTwo) {
    led_unit& b = scene.board_at(0, 0);
    b.height = 16;
    scene.selected_board_col = scene.selected_board_row = 0;
    const struct { int key, grabbed, want; } steps[] = {
        {key_down, 1, 32}, {key_down, 1, 32}, {key_up, 1, 16}, {key_up, 1, 16}, {key_down, 0, 16}};
    for (const auto& step : steps) {
        ui.input.board_grabbed = static_cast<uint8_t>(step.grabbed);
        press(step.key);
        EXPECT_EQ(b.height, step.want) << step.key << (step.grabbed ? " held" : " not held");
    }
    b.height = INT32_MIN + 1;   // replayed from any 32 bits: a huge height, stepped down to the range's end
    ui.input.board_grabbed = 1;
    press(key_up, 2);
    EXPECT_EQ(b.height, INT32_MIN);
}

// Page keys cycle a held digit's style and colour; arrows size digits, shapes and held texts within bounds.
TEST_F(Key_test, PageAndArrowKeysOnTheSelectedElementStayWithinBounds) {
    scene.selected_digit_row = 0;
    scene.selected_digit_col = 5;   // a digit element
    Digit_unit& d = scene.digit_at(0, 5);
    ui.input.digit_grabbed = 1;
    ui.input.style_cycle = 0;
    std::vector<int> styles;
    for (int i = 0; i < 3; ++i) press(key_page_up), styles.push_back(d.param_b);
    EXPECT_EQ(styles, (std::vector<int>{2, 3, 1}));
    d.colour = 1;
    press(key_page_down);
    EXPECT_EQ(d.colour, 2);

    Digit_unit& r = scene.digit_at(0, 36);   // the palette rectangle
    string_draw& t = scene.string_draws[3];
    const int text = -1;
    const struct { const char* what; int col; bool held; int32_t* field; int32_t start; int key, times, want; }
        steps[] = {
        {"digits stop at 1", 5, false, &d.digits, 1, key_left, 1, 1},
        {"digits stop at 4", 5, true, &d.digits, 1, key_right, 5, 4},
        {"digit height stops at 38", 5, true, &d.param_a, 37, key_down, 2, 38},
        {"digit height stops at 2", 5, true, &d.param_a, 3, key_up, 2, 2},
        {"a digit height of -2^31 stays there", 5, true, &d.param_a, INT32_MIN, key_up, 1, INT32_MIN},
        {"a shape width of -2^31 stays there", 36, false, &r.width, INT32_MIN, key_left, 1, INT32_MIN},
        {"shape width stops at 4", 36, false, &r.width, 5, key_left, 2, 4},
        {"shape height stops at 1", 36, false, &r.height, 2, key_up, 2, 1},
        {"a negative width is a huge one", 36, false, &r.width, -1, key_right, 1, -1},
        {"text colour wraps", text, true, &t.colour, 2, key_page_down, 1, 0},
    };
    for (const auto& step : steps) {
        clear_selection(ui.input, scene);
        ui.input.digit_grabbed = ui.input.text_grabbed = 0;
        if (step.col == text)
            scene.selected_text = 3, ui.input.text_grabbed = step.held;
        else
            scene.selected_digit_row = 0, scene.selected_digit_col = static_cast<uint8_t>(step.col),
            ui.input.digit_grabbed = static_cast<uint8_t>(step.held);
        *step.field = step.start;
        press(step.key, step.times);
        EXPECT_EQ(*step.field, step.want) << step.what;
    }
    // A selected text's width is its text's (the frame around it, the width
    // its "led txt" line carries), whatever the width keys do.
    for (int key : {key_left, key_right}) {
        t.width = 999;
        press(key, 2);
        EXPECT_EQ(t.width, t.font_size / 2 * t.length) << key;
    }
}

}  // namespace
