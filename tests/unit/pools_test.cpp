// Element pools and record defaults as they stand before start-up.
#include <gtest/gtest.h>

#include <cstring>

#include "render/outline_font.h"
#include "scene/pools.h"
#include "scene/view_state.h"

namespace {

TEST(Records, FreshTextElementIsTheOffScreenAddTextDefault) {
    string_draw s;
    EXPECT_EQ(s.enabled, 1);
    EXPECT_EQ(s.font_size, 12);
    EXPECT_EQ(s.length, 8);
    EXPECT_EQ(s.x, 1000u);
    EXPECT_EQ(s.y, 1000u);
    EXPECT_EQ(s.width, 64);
    EXPECT_EQ(s.height, 40);
    EXPECT_EQ(s.pitch, dot_pitch);
    EXPECT_EQ(std::strlen(s.text), 8u);
    EXPECT_STREQ(s.text, "\xCC\xED\xBC\xD3\xCE\xC4\xB1\xBE");   // 添加文本 in GBK
    EXPECT_FLOAT_EQ(s.frame_r + s.frame_g + s.frame_b, 3.0f);
}

TEST(Records, DigitUnitIsAnEnabledDigitButThePaletteCopyIsNot) {
    Digit_unit d;
    EXPECT_EQ(d.kind, kind_digit);
    EXPECT_EQ(d.enabled, 1);
    EXPECT_EQ(d.width, 40);
    EXPECT_EQ(d.height, 0);
    EXPECT_EQ(d.spare_word, 16);
    EXPECT_EQ(d.param_a, 5);
    EXPECT_EQ(d.param_b, 1);
    EXPECT_EQ(d.digits, 1);
    EXPECT_EQ(d.colour, 0);
    EXPECT_EQ(d.spare_byte, 1);

    Digit_unit_menu m;
    EXPECT_EQ(m.enabled, 0);
    EXPECT_EQ(m.colour, 255);
    EXPECT_EQ(m.kind, kind_digit);
}

TEST(Records, StoredPitchIsThePitchInForceAtConstruction) {
    uint8_t saved = dot_pitch;
    set_dot_pitch(5);
    Digit_unit d;
    string_draw s;
    EXPECT_EQ(d.pitch, 5);
    EXPECT_EQ(s.pitch, 5);
    set_dot_pitch(saved);
}

TEST(Records, BoardMenuAndOverlayDefaults) {
    led_unit b;
    EXPECT_EQ(b.x, 0);
    EXPECT_EQ(b.y, 64);
    EXPECT_EQ(b.width, 64);
    EXPECT_EQ(b.height, 32);
    EXPECT_EQ(b.label_a, 0);
    EXPECT_EQ(b.label_b, 0);
    EXPECT_FLOAT_EQ(b.r, 1.0f);
    EXPECT_FLOAT_EQ(b.g, 0.0f);

    menu_unit m;
    EXPECT_EQ(m.y, 64);
    EXPECT_EQ(m.width, 56);
    EXPECT_EQ(m.height, 6);
    EXPECT_EQ(m.label[0], '\0');
    EXPECT_FLOAT_EQ(m.colour[1], 0.8f);

    graph_draw g;
    EXPECT_EQ(g.in_use, 0);
    EXPECT_EQ(g.width, 0);
    EXPECT_FLOAT_EQ(g.b, 1.0f);
}

TEST(Pools, StartWithTheirSizesDefaultsAndCounters) {
    EXPECT_EQ(sizeof led_units / sizeof led_units[0], 24u);
    EXPECT_EQ(sizeof digit_units / sizeof digit_units[0], 10000u);
    EXPECT_EQ(&digit_at(3, 7), &digit_units[307]);
    EXPECT_EQ(&board_at(2, 5), &led_units[17]);
    EXPECT_EQ(digit_units[9999].kind, kind_digit);
    EXPECT_EQ(digit_unit_menus[0].enabled, 0);
    EXPECT_EQ(string_draws[39].font_size, 12);
    EXPECT_EQ(graph_draws[499].in_use, 0);
    EXPECT_EQ(text_count, 0);
    EXPECT_EQ(rect_count, 0);
    EXPECT_EQ(board_rows, 1);
    EXPECT_EQ(export_columns, 1);
}

TEST(Pools, CommandListHeadIsOneRecordLinkedToItself) {
    ASSERT_NE(cmd_list.head, nullptr);
    EXPECT_EQ(cmd_list.head, cmd_list.tail);
    EXPECT_EQ(cmd_list.head->next, cmd_list.head);
    EXPECT_EQ(cmd_list.head->number, 12);
    EXPECT_EQ(cmd_list.head->valid, 0);
    EXPECT_EQ(cmd_list.head->line[0], '\0');
}

TEST(Pools, GlyphCacheStartsEmpty) {
    for (int c : {0, 65, 0x5355, 0xFFFF}) {
        EXPECT_EQ(glyph_cache[c].texture, 0u);
        EXPECT_EQ(glyph_cache[c].tex_width, 0);
        EXPECT_EQ(glyph_cache[c].advance, 0);
    }
}

TEST(ViewState, PitchStaysWithinTwoTo255) {
    uint8_t saved = dot_pitch;
    set_dot_pitch(1);
    EXPECT_EQ(dot_pitch, 2);
    set_dot_pitch(0);
    EXPECT_EQ(dot_pitch, 2);
    set_dot_pitch(256);
    EXPECT_EQ(dot_pitch, 255);
    set_dot_pitch(7);
    EXPECT_EQ(dot_pitch, 7);
    set_dot_pitch(saved);
}

TEST(ViewState, StartsWithNothingSelected) {
    EXPECT_EQ(selected_board_col, no_board);
    EXPECT_EQ(selected_board_row, no_board);
    EXPECT_EQ(selected_digit_col, no_digit);
    EXPECT_EQ(selected_digit_row, no_digit);
    EXPECT_EQ(selected_text, no_text);
    EXPECT_EQ(selected_graph, 100);
}

}  // namespace
