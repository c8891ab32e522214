// Keyboard: typing, zoom, new elements and the keys that change the
// selected or held element.
#include <gtest/gtest.h>

#include <filesystem>

#include <string>

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

    void type(const std::string& keys) {
        for (char c : keys) on_key(static_cast<uint8_t>(c), 0, 0);
    }
};

TEST_F(Key_test, NewTextGetsTxtAtTheBoardCornerAndTyping) {
    text_count = 0;
    type("\x05");   // Ctrl+E
    EXPECT_EQ(text_count, 1);
    EXPECT_EQ(string_draws[0].slot, 0);
    const string_draw& s = string_draws[1];
    EXPECT_STREQ(s.text, "Txt");
    EXPECT_EQ(s.length, 3);
    EXPECT_EQ(s.font_size, 16);
    EXPECT_EQ(s.x, 276u);
    EXPECT_EQ(s.y, 226u);
    EXPECT_EQ(selected_text, no_text);   // not selected

    type("ab");   // nothing selected: nothing typed
    EXPECT_STREQ(s.text, "Txt");
    selected_text = 1;
    type("ab");
    EXPECT_STREQ(s.text, "Txtab");
    EXPECT_EQ(s.length, 5);
    type("\b\b");
    EXPECT_STREQ(s.text, "Txt");
    EXPECT_EQ(s.length, 3);
    type("\b\b\b\b");
    EXPECT_EQ(s.length, 0);
    EXPECT_EQ(s.text[0], 0);
    EXPECT_EQ(last_key, 8);
}

TEST_F(Key_test, TypingStopsWhenTheTextIsFull) {
    selected_text = 2;
    string_draw& s = string_draws[2];
    s.length = 0;
    s.text[0] = 0;
    for (int i = 0; i < 600; ++i) on_key('x', 0, 0);
    EXPECT_EQ(s.length, 511);
    EXPECT_EQ(s.text[510], 'x');
    EXPECT_EQ(s.text[511], 0);
    on_key(0xB0, 0, 0);   // high bytes are stored as they come, when there is room
    EXPECT_EQ(s.length, 511);
}

TEST_F(Key_test, NewElementsStopAtFullPools) {
    text_count = 38;
    type("\x05");
    EXPECT_EQ(text_count, 39);
    EXPECT_STREQ(string_draws[39].text, "Txt");
    type("\x05");   // record 40 does not exist
    EXPECT_EQ(text_count, 39);

    rect_count = 0;
    type("\x04");   // Ctrl+D: id to record 0, the rectangle to record 1
    EXPECT_EQ(rect_count, 1);
    EXPECT_EQ(digit_at(0, 0).id, 10);
    EXPECT_EQ(digit_at(0, 1).kind, kind_rect);
    EXPECT_EQ(digit_at(0, 1).width, 20);
    EXPECT_EQ(digit_at(0, 1).height, 10);
    EXPECT_EQ(digit_at(0, 1).x, 276u);
    type("\x03");   // Ctrl+C: kind 6
    EXPECT_EQ(digit_at(0, 2).kind, kind_key_stored);
    EXPECT_EQ(digit_at(0, 1).id, 11);
    rect_count = 98;
    type("\x04");
    EXPECT_EQ(rect_count, 99);
    type("\x04");
    EXPECT_EQ(rect_count, 99);
}

TEST_F(Key_test, ZoomStaysWithinTwoTo255) {
    type("\x01");
    EXPECT_EQ(dot_pitch, 2);
    type("\x11");
    EXPECT_EQ(dot_pitch, 3);
    type("\x01");
    EXPECT_EQ(dot_pitch, 2);
    for (int i = 0; i < 300; ++i) type("\x11");
    EXPECT_EQ(dot_pitch, 255);
}

TEST_F(Key_test, FontSizeColourAndWidthKeys) {
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
}

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

TEST_F(Key_test, HeldBoardHeightStepsBetweenSixteenAndThirtyTwo) {
    led_unit& b = board_at(0, 0);
    b.height = 16;
    selected_board_col = selected_board_row = 0;
    board_grabbed = 1;
    on_special_key(key_down, 0, 0);
    EXPECT_EQ(b.height, 32);
    on_special_key(key_down, 0, 0);
    EXPECT_EQ(b.height, 32);
    on_special_key(key_up, 0, 0);
    EXPECT_EQ(b.height, 16);
    on_special_key(key_up, 0, 0);
    EXPECT_EQ(b.height, 16);
    board_grabbed = 0;   // only while held
    on_special_key(key_down, 0, 0);
    EXPECT_EQ(b.height, 16);
}

TEST_F(Key_test, PageUpCyclesTheHeldDigitsStyle) {
    selected_digit_row = 0;
    selected_digit_col = 5;
    digit_grabbed = 1;
    style_cycle = 0;
    std::vector<int> styles;
    for (int i = 0; i < 3; ++i) {
        on_special_key(key_page_up, 0, 0);
        styles.push_back(digit_at(0, 5).param_b);
    }
    EXPECT_EQ(styles, (std::vector<int>{2, 3, 1}));
    digit_at(0, 5).colour = 1;
    on_special_key(key_page_down, 0, 0);
    EXPECT_EQ(digit_at(0, 5).colour, 2);
}

TEST_F(Key_test, ArrowsResizeTheSelectedDigitWithinBounds) {
    selected_digit_row = 0;
    selected_digit_col = 5;   // a digit element, digits 2
    Digit_unit& d = digit_at(0, 5);
    d.digits = 1;
    on_special_key(key_left, 0, 0);
    EXPECT_EQ(d.digits, 1);
    digit_grabbed = 1;
    for (int i = 0; i < 5; ++i) on_special_key(key_right, 0, 0);
    EXPECT_EQ(d.digits, 4);
    d.param_a = 37;
    on_special_key(key_down, 0, 0);
    on_special_key(key_down, 0, 0);
    EXPECT_EQ(d.param_a, 38);
    d.param_a = 3;
    on_special_key(key_up, 0, 0);
    on_special_key(key_up, 0, 0);
    EXPECT_EQ(d.param_a, 2);

    // A shape: width and height instead.
    selected_digit_col = 36;   // the palette rectangle
    digit_grabbed = 0;
    Digit_unit& r = digit_at(0, 36);
    r.width = 5;
    on_special_key(key_left, 0, 0);
    on_special_key(key_left, 0, 0);
    EXPECT_EQ(r.width, 4);
    r.height = 2;
    on_special_key(key_up, 0, 0);
    on_special_key(key_up, 0, 0);
    EXPECT_EQ(r.height, 1);
    // A negative width counts as a huge unsigned one: Right leaves it.
    r.width = -1;
    on_special_key(key_right, 0, 0);
    EXPECT_EQ(r.width, -1);
}

TEST_F(Key_test, HeldTextWidthAndColour) {
    selected_text = 3;
    text_grabbed = 1;
    string_draw& s = string_draws[3];
    s.width = 5;
    on_special_key(key_left, 0, 0);
    on_special_key(key_left, 0, 0);
    EXPECT_EQ(s.width, 4);
    s.width = 999;
    on_special_key(key_right, 0, 0);
    on_special_key(key_right, 0, 0);
    EXPECT_EQ(s.width, 1000);
    s.colour = 2;
    on_special_key(key_page_down, 0, 0);
    EXPECT_EQ(s.colour, 0);
}

}  // namespace
