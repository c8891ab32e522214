// Keyboard: typing, zoom, new elements and the keys that change the
// selected or held element.
#include <gtest/gtest.h>

#include <filesystem>

#include <cstring>
#include <string>
#include <vector>

#include "app/scene_files.h"
#include "app/startup.h"
#include "scene/pools.h"
#include "scene/view_state.h"
#include "ui/keyboard.h"
#include "ui/menus.h"
#include "ui/mouse.h"
#include "tests/unit/temp_dir.h"
#include "ui/window_ops.h"

namespace {

int quit_status = -1;

class Key_test : public ::testing::Test {
protected:
    void SetUp() override {
        set_dot_pitch(2);
        build_layout();
        clear_selection();
        board_grabbed = digit_grabbed = text_grabbed = 0;
        quit_status = -1;
        window_ops.quit = [](int status) { quit_status = status; };
    }
    void TearDown() override { window_ops = Window_ops{}; }

    void type(const std::string& keys, int times = 1) {
        for (int i = 0; i < times; ++i)
            for (char c : keys) on_key(static_cast<uint8_t>(c), 0, 0);
    }
    void press(int key, int times = 1) {
        for (int i = 0; i < times; ++i) on_special_key(key, 0, 0);
    }
};

// Ctrl+E adds "Txt" at board 0's corner, unselected; typing goes to the
// selected text only, Backspace removes, and a full text takes no more.
TEST_F(Key_test, NewTextGetsTxtAtTheBoardCornerAndTyping) {
    text_count = 0;
    type("\x05");
    EXPECT_EQ(text_count, 1);
    EXPECT_EQ(string_draws[0].slot, 0);
    const string_draw& s = string_draws[1];
    EXPECT_STREQ(s.text, "Txt");
    EXPECT_EQ(s.length, 3);
    EXPECT_EQ(s.font_size, 16);
    EXPECT_EQ(s.x, 276u);
    EXPECT_EQ(s.y, 226u);
    EXPECT_EQ(selected_text, no_text);

    const struct { const char* keys; int selected; const char* want; } steps[] = {
        {"ab", no_text, "Txt"}, {"ab", 1, "Txtab"}, {"\b\b", 1, "Txt"}, {"\b\b\b\b", 1, ""}};
    for (const auto& step : steps) {
        selected_text = step.selected;
        type(step.keys);
        EXPECT_STREQ(s.text, step.want) << step.keys;
        EXPECT_EQ(s.length, int(std::strlen(step.want))) << step.keys;
    }
    EXPECT_EQ(last_key, 8);

    selected_text = 2;
    string_draw& t = string_draws[2];
    t.length = 0;
    t.text[0] = 0;
    type("x", 600);
    EXPECT_EQ(t.length, 511);
    EXPECT_EQ(t.text[510], 'x');
    EXPECT_EQ(t.text[511], 0);
    on_key(0xB0, 0, 0);   // high bytes are stored as they come, when there is room
    EXPECT_EQ(t.length, 511);
}

// Ctrl+E, Ctrl+D and Ctrl+C stop at full pools; Ctrl+D puts the id on record
// n and a 10 x 5 rectangle on n + 1, Ctrl+C stores kind 6.
TEST_F(Key_test, NewElementsStopAtFullPools) {
    text_count = 38;
    type("\x05");
    EXPECT_EQ(text_count, 39);
    EXPECT_STREQ(string_draws[39].text, "Txt");
    type("\x05");   // record 40 does not exist
    EXPECT_EQ(text_count, 39);

    rect_count = 0;
    type("\x04");
    EXPECT_EQ(rect_count, 1);
    EXPECT_EQ(digit_at(0, 0).id, 10);
    EXPECT_EQ(digit_at(0, 1).kind, kind_rect);
    EXPECT_EQ(digit_at(0, 1).width, 20);
    EXPECT_EQ(digit_at(0, 1).height, 10);
    EXPECT_EQ(digit_at(0, 1).x, 276u);
    type("\x03");
    EXPECT_EQ(digit_at(0, 2).kind, kind_key_stored);
    EXPECT_EQ(digit_at(0, 1).id, 11);
    rect_count = 98;
    type("\x04");
    EXPECT_EQ(rect_count, 99);
    type("\x04");
    EXPECT_EQ(rect_count, 99);
}

// Ctrl+A and Ctrl+Q zoom within 2..255.
TEST_F(Key_test, ZoomStaysWithinTwoTo255) {
    const struct { const char* key; int times, want; } steps[] = {
        {"\x01", 1, 2}, {"\x11", 1, 3}, {"\x01", 1, 2}, {"\x11", 300, 255}};
    for (const auto& step : steps) {
        type(step.key, step.times);
        EXPECT_EQ(dot_pitch, step.want) << int(step.key[0]) << " x" << step.times;
    }
}

// Keys on the selected text: font size cycles 12, 16, 24, 32 (Ctrl+L: 12),
// colours cycle without overflow, widths stay within 4..1000, Ctrl+B bolds.
TEST_F(Key_test, SelectedTextKeys) {
    selected_text = 0;
    string_draw& s = string_draws[0];
    size_cycle = 0;
    std::vector<int> sizes;
    for (int i = 0; i < 5; ++i) {
        type("\x06");
        sizes.push_back(s.font_size);
    }
    EXPECT_EQ(sizes, (std::vector<int>{12, 16, 24, 32, 12}));
    type("\x0C");
    EXPECT_EQ(s.font_size, 12);
    s.colour = 2;
    type("\x0B");
    EXPECT_EQ(s.colour, 0);
    s.colour = INT32_MAX;   // a replayed colour of any 32 bits steps without overflow
    type("\x0B");
    EXPECT_EQ(s.colour, 2);
    const int w = s.width;
    type("\x07\x07\x0E");
    EXPECT_EQ(s.width, w + 1);
    type("\x02");
    EXPECT_EQ(s.bold_flag, 1);

    text_grabbed = 1;   // held: arrows change the width, Page Down the colour
    s.width = 5;
    press(key_left, 2);
    EXPECT_EQ(s.width, 4);
    s.width = 999;
    press(key_right, 2);
    EXPECT_EQ(s.width, 1000);
    s.colour = 2;
    press(key_page_down);
    EXPECT_EQ(s.colour, 0);
}

// Ctrl+S ends the program without saving; the close entry saves.
TEST_F(Key_test, CtrlSEndsWithoutSaving) {
    Temp_dir dir;
    std::string err;
    ASSERT_TRUE(build_data_paths((dir.path() + "/").c_str(), &data_paths, &err)) << err;
    close_requested = save_scene_and_quit;   // as start-up installs it
    string_draws[0].x = 400;                 // something to save
    type("\x13");
    EXPECT_EQ(quit_status, 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));   // not one scene file written
    // The close entry, for contrast, does save into the same folder.
    toolbar_action(toolbar_close);
    EXPECT_FALSE(std::filesystem::is_empty(dir.path()));
}

// Up and Down step a held board's height between 16 and 32, only while held.
TEST_F(Key_test, HeldBoardHeightStepsBetweenSixteenAndThirtyTwo) {
    led_unit& b = board_at(0, 0);
    b.height = 16;
    selected_board_col = selected_board_row = 0;
    const struct { int key, grabbed, want; } steps[] = {
        {key_down, 1, 32}, {key_down, 1, 32}, {key_up, 1, 16}, {key_up, 1, 16}, {key_down, 0, 16}};
    for (const auto& step : steps) {
        board_grabbed = step.grabbed;
        press(step.key);
        EXPECT_EQ(b.height, step.want) << step.key << (step.grabbed ? " held" : " not held");
    }
}

// On a held digit Page Up cycles the style, Page Down the colour, and the
// arrows its digits (1..4) and height (2..38); on a shape its width (from 4)
// and height (from 1).
TEST_F(Key_test, KeysOnTheSelectedDigitOrShapeStayWithinBounds) {
    selected_digit_row = 0;
    selected_digit_col = 5;   // a digit element, digits 2
    Digit_unit& d = digit_at(0, 5);
    digit_grabbed = 1;
    style_cycle = 0;
    std::vector<int> styles;
    for (int i = 0; i < 3; ++i) {
        press(key_page_up);
        styles.push_back(d.param_b);
    }
    EXPECT_EQ(styles, (std::vector<int>{2, 3, 1}));
    d.colour = 1;
    press(key_page_down);
    EXPECT_EQ(d.colour, 2);

    d.digits = 1;
    digit_grabbed = 0;
    press(key_left);
    EXPECT_EQ(d.digits, 1);
    digit_grabbed = 1;
    press(key_right, 5);
    EXPECT_EQ(d.digits, 4);
    d.param_a = 37;
    press(key_down, 2);
    EXPECT_EQ(d.param_a, 38);
    d.param_a = 3;
    press(key_up, 2);
    EXPECT_EQ(d.param_a, 2);

    selected_digit_col = 36;   // the palette rectangle
    digit_grabbed = 0;
    Digit_unit& r = digit_at(0, 36);
    r.width = 5;
    press(key_left, 2);
    EXPECT_EQ(r.width, 4);
    r.height = 2;
    press(key_up, 2);
    EXPECT_EQ(r.height, 1);
    r.width = -1;   // a negative width counts as a huge unsigned one: Right leaves it
    press(key_right);
    EXPECT_EQ(r.width, -1);
}

}  // namespace
