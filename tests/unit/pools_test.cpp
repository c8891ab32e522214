// Element pools and record defaults as they stand before start-up.
#include <gtest/gtest.h>

#include <memory>

#include <tuple>

#include "render/outline_font.h"
#include "scene/pools.h"
#include "scene/view_state.h"

#include "tests/unit/test_scene.h"

// The scene under test (reset before every test).
static Scene& scene = test_scene();

namespace {

using std::make_tuple;

// Fresh records hold the editor's defaults, at the start-up pitch.
TEST(Records, FreshRecordsHoldTheEditorsDefaults) {
    string_draw s;   // the off-screen "添加文本" text
    EXPECT_EQ(make_tuple(s.enabled, s.font_size, s.length, s.x, s.y, s.width, s.height, s.pitch),
              make_tuple(1, 12, 8, 1000u, 1000u, 64, 40, 2));
    EXPECT_STREQ(s.text, "\xCC\xED\xBC\xD3\xCE\xC4\xB1\xBE");   // 添加文本 in GBK
    EXPECT_FLOAT_EQ(s.frame_r + s.frame_g + s.frame_b, 3.0f);
    Digit_unit d;    // an enabled digit
    EXPECT_EQ(make_tuple(d.kind, d.enabled, d.width, d.height, d.spare_word, d.param_a, d.param_b, d.digits,
                         d.colour, d.spare_byte, d.pitch),
              make_tuple(kind_digit, 1, 40, 0, 16, 5, 1, 1, 0, 1, 2));
    led_unit b;
    EXPECT_EQ(make_tuple(b.x, b.y, b.width, b.height, b.label_a, b.label_b, b.r, b.g),
              make_tuple(0, 64, 64, 32, 0, 0, 1.0f, 0.0f));   // red
    menu_unit e;
    EXPECT_EQ(make_tuple(e.y, e.width, e.height, e.label[0]), make_tuple(64, 56, 6, '\0'));
    EXPECT_FLOAT_EQ(e.colour[1], 0.8f);
    graph_draw g;
    EXPECT_EQ(make_tuple(g.in_use, g.width, g.b), make_tuple(0, 0, 1.0f));
}

// Pools are row-major and start with defaults, counters, no glyphs, no selection.
TEST(Pools, StartWithTheirDefaultsCountersAndNothingSelected) {
    EXPECT_EQ(&scene.digit_at(3, 7), &scene.digit_units[307]);
    EXPECT_EQ(&scene.board_at(2, 5), &scene.led_units[17]);
    EXPECT_EQ(scene.digit_units[9999].kind, kind_digit);
    EXPECT_EQ(scene.string_draws[39].font_size, 12);
    EXPECT_EQ(scene.graph_draws[499].in_use, 0);
    EXPECT_EQ(make_tuple(scene.text_count, scene.rect_count, scene.board_rows, scene.export_columns), make_tuple(0, 0, 1, 1));
    const auto font = std::make_unique<Outline_font>();
    const glyph_record* glyph_cache = font->glyph_cache;
    for (int c : {0, 65, 0x5355, 0xFFFF})
        EXPECT_EQ(make_tuple(glyph_cache[c].texture, glyph_cache[c].tex_width, glyph_cache[c].advance),
                  make_tuple(0u, 0, 0)) << c;
    EXPECT_EQ(make_tuple(scene.selected_board_col, scene.selected_board_row, scene.selected_digit_col, scene.selected_digit_row),
              make_tuple(no_board, no_board, no_digit, no_digit));
    EXPECT_EQ(scene.selected_text, no_text);
    EXPECT_EQ(scene.selected_graph, no_graph);
}

// The pitch stays within 2..255.
TEST(ViewState, PitchStaysWithinTwoTo255) {
    const int cases[][2] = {{1, 2}, {0, 2}, {256, 255}, {7, 7}, {255, 255}, {2, 2}};
    for (auto [asked, want] : cases) {
        set_dot_pitch(scene, asked);
        EXPECT_EQ(scene.dot_pitch, want) << asked;
    }
}

}  // namespace
