// Outline-font labels, the GBK conversion, board outlines and the frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "app/frame.h"
#include "app/startup.h"
#include "render/board_outline.h"
#include "render/outline_font.h"
#include "scene/pools.h"
#include "tests/unit/sink_fixture.h"
#include "platform/platform.h"
#include "scene/status_line.h"
#include "ui/menus.h"

#include "tests/unit/test_app.h"
#include "tests/unit/test_scene.h"

// The scene under test (reset before every test).
static Scene& scene = test_scene();
static Ui_state& ui = test_ui();

namespace {

using std::make_tuple;

class Label_test : public Sink_test {
protected:
    void SetUp() override {
        Sink_test::SetUp();
        std::string err;
        ASSERT_TRUE(startup_open_face(font, nullptr, 0, &err)) << err;
    }
};

// GBK converts to UTF-16, invalid bytes as '?', cut to the buffer and always terminated.
TEST(ToWide, ConvertsGbkAndReplacesInvalidBytes) {
    const struct { const char* gbk; size_t room, want_n; std::u16string want; } cases[] = {
        {"\xB5\xA5\xD4\xAA\xB0\xE5#(0,0)", 16, 9, u"单元板#(0,0)"},
        {"a\xFF" "b", 16, 3, u"a?b"},
        {"abcdefgh", 4, 3, u"abc"},
    };
    for (const auto& c : cases) {
        char16_t out[16];
        EXPECT_EQ(to_wide(c.gbk, out, c.room), c.want_n) << c.gbk;
        EXPECT_EQ(std::u16string(out), c.want) << c.gbk;
    }
}

// Glyph textures are the next power of two, at least 1.
TEST(GlyphCache, TextureSizesArePowersOfTwoOfAtLeastOne) {
    const int cases[][2] = {{11, 16}, {13, 16}, {16, 16}, {17, 32}, {0, 1}, {1, 1}};
    for (auto [size, want] : cases) EXPECT_EQ(glyph_texture_size(size), want) << size;
}

// A glyph's record holds its bitmap metrics and coverage texture; a space only advances.
TEST_F(Label_test, GlyphRecordHoldsTheBitmapMetrics) {
    glyph_texture(screen, u'A');
    const glyph_record& a = font.glyph_cache[u'A'];
    ASSERT_NE(a.texture, 0u);
    EXPECT_EQ(a.ppem, 18);
    EXPECT_TRUE(a.advance > 0 && a.tex_width >= 1);
    const Memory_sink::Texture& t = sink.textures.at(a.texture - 1);
    EXPECT_EQ(make_tuple(t.w, t.h), make_tuple(a.tex_width, a.tex_height));
    // Luminance and alpha carry the same coverage; some of it is set.
    int covered = 0;
    for (size_t i = 0; i < t.texels.size(); i += 2) {
        EXPECT_EQ(t.texels[i], t.texels[i + 1]);
        covered += t.texels[i] > 0;
    }
    EXPECT_GT(covered, 10);

    // A space has no bitmap: a 1 x 1 texture that only advances the pen.
    glyph_texture(screen, u' ');
    EXPECT_EQ(make_tuple(font.glyph_cache[u' '].tex_width, font.glyph_cache[u' '].tex_height), make_tuple(1, 1));
    EXPECT_GT(font.glyph_cache[u' '].advance, 0);
}

// A label makes a texture per character, quads an advance apart on the baseline; texturing ends off.
TEST_F(Label_test, EachCharacterGetsOneTexture) {
    sink.texturing = true;
    draw_label(screen, u"", 100, 100, 500, 300);
    EXPECT_EQ(make_tuple(sink.quads.size(), sink.texturing), make_tuple(0u, false));
    draw_label(screen, u"AAB", 100, 100, 500, 300);
    ASSERT_EQ(make_tuple(sink.textures.size(), sink.quads.size()), make_tuple(2u, 3u));
    EXPECT_EQ(sink.quads[0].texture, sink.quads[1].texture);
    EXPECT_EQ(make_tuple(sink.quads[0].texturing, sink.texturing, sink.blending), make_tuple(true, false, true));
    const glyph_record& a = font.glyph_cache[u'A'];
    EXPECT_FLOAT_EQ(sink.quads[1].x0 - sink.quads[0].x0, float(a.advance));
    // The quad's bottom is the baseline minus the bottom bearing.
    EXPECT_FLOAT_EQ(sink.quads[0].y1, float(100 - a.bottom));
    EXPECT_FLOAT_EQ(sink.quads[0].y1 - sink.quads[0].y0, float(a.tex_height));
}

// A line feed or passing the wrap width starts a new line, line height (tallest texture) + 12 lower.
TEST_F(Label_test, LineFeedsAndWrapsStartANewLineLineHeightPlusTwelveLower) {
    draw_label(screen, u"A\nA", 100, 100, 500, 20);
    ASSERT_EQ(sink.quads.size(), 2u);
    const int height = std::max(20, font.glyph_cache[u'A'].tex_height);
    EXPECT_FLOAT_EQ(sink.quads[1].x0, sink.quads[0].x0);
    EXPECT_FLOAT_EQ(sink.quads[1].y1 - sink.quads[0].y1, float(12 + height));

    sink.clear();
    glyph_texture(screen, u'M');
    const int adv = font.glyph_cache[u'M'].advance;
    draw_label(screen, u"MMM", 0, 100, 2 * adv - 1, 300);   // the second M passes the wrap width
    ASSERT_EQ(sink.quads.size(), 3u);
    EXPECT_EQ(make_tuple(sink.quads[1].y0, sink.quads[2].x0), make_tuple(sink.quads[0].y0, sink.quads[0].x0));
    EXPECT_FLOAT_EQ(sink.quads[2].y0 - sink.quads[0].y0, 312.0f);
}

// A board outline is a solid red loop sized by the pitch; selected, dashed under a green label.
TEST_F(Label_test, BoardOutlinesPlainAndSelected) {
    led_unit b;
    b.x = 276, b.y = 226, b.width = 256, b.height = 128;
    draw_board_outline(sink, b, scene.dot_pitch);
    set_dot_pitch(scene, 3);
    draw_board_outline(sink, b, scene.dot_pitch);
    ASSERT_EQ(sink.loops.size(), 2u);
    EXPECT_EQ(sink.loops[0].xy, (std::vector<float>{276, 226, 788, 226, 788, 482, 276, 482}));
    EXPECT_EQ(sink.loops[1].xy, (std::vector<float>{276, 226, 1044, 226, 1044, 610, 276, 610}));
    EXPECT_EQ(make_tuple(sink.loops[0].stippled, sink.loops[0].r, sink.loops[0].g, sink.quads.size()),
              make_tuple(false, 1.0f, 0.0f, 0u));

    sink.clear();
    draw_board_outline_selected(screen, b, scene.dot_pitch);
    ASSERT_EQ(sink.loops.size(), 1u);
    EXPECT_EQ(make_tuple(sink.loops[0].stippled, sink.loops[0].factor, sink.loops[0].pattern, sink.stipple),
              make_tuple(true, 2, 0xAAAA, false));   // the stipple switched off again
    ASSERT_EQ(sink.quads.size(), 9u);   // 单元板#(0,0), green, above the board's top edge
    for (const auto& q : sink.quads) EXPECT_TRUE(q.g == 1 && q.r == 0 && q.y0 <= 224) << q.x0;
    EXPECT_FLOAT_EQ(sink.quads[0].x0, float(276 + font.glyph_cache[u'单'].left));
}

// A frame draws the board, palette, entries, the readout by the mouse and a selected board dashed.
TEST_F(Label_test, FrameDrawsPaletteOutlineAndReadout) {
    Test_app& app = test_app();
    build_layout(scene);
    scene.board_at(0, 0).width = 256, scene.board_at(0, 0).height = 128;
    scene.mouse_x = scene.mouse_y = 0;
    draw_display(app.frame, screen, scene, ui, app.texts);
    ASSERT_GE(sink.loops.size(), 1u);   // the board first, then the menu entries
    EXPECT_EQ(sink.loops[0].xy[4], 788);
    const size_t entry_quads = sink.quads.size();   // entry labels; no readout yet
    // The palette circle (radius 20 at (230, 376)), the palette rectangle's corner, the vertical line's end.
    const std::set<std::pair<int, int>> dots = lit();
    EXPECT_TRUE(dots.count({250, 376}) && dots.count({250, 480}) && dots.count({350, 80}));

    sink.clear();
    scene.mouse_x = 400, scene.mouse_y = 300;
    draw_display(app.frame, screen, scene, ui, app.texts);
    ASSERT_EQ(sink.quads.size(), entry_quads + 9);   // "[63 , 68]" comes last, by the mouse
    for (size_t i = entry_quads; i < sink.quads.size(); ++i) {
        const auto& q = sink.quads[i];
        EXPECT_TRUE(q.r == 1 && q.b == 1 && q.x0 >= 400 - 2 && q.y1 <= 300 - 20 + 6) << i;
    }

    // Board (0, 0) selected: the dashed outline.
    sink.clear();
    scene.selected_board_col = scene.selected_board_row = 0;
    draw_display(app.frame, screen, scene, ui, app.texts);
    ASSERT_GE(sink.loops.size(), 1u);
    EXPECT_TRUE(sink.loops[0].stippled);
}

}  // namespace

// A failure stays on the status line through the notes that follow it (the
// release's live send with no card), and a long one is drawn on one line,
// cut with "…" before the close entry's box.
TEST_F(Label_test, AFailureStaysVisibleAndFitsBeforeTheCloseBox) {
    build_layout(scene);
    ui.status.set_failure("scene: 保存失败 (save failed): cannot replace /a/very/long/folder/name/that/goes/on/and/on/"
                "for/a/while/scene.conf: Is a directory; the program stays open");
    ui.status.note_status("card: not sent live (no card: Syc_Enable=0 in SysCfg.ini)");
    ui.status.show_status("sending 3/31 to 127.0.0.1");
    char said[512];
    platform_gbk_to_utf8(ui.status.text(), said, sizeof said);
    EXPECT_EQ(std::string(said).rfind("scene: 保存失败", 0), 0u) << said;
    sink.clear();
    draw_status_and_help(screen, ui.input, ui.status, scene);
    const float limit = static_cast<float>(scene.toolbar_menu[toolbar_close].x);
    size_t status_quads = 0;
    for (const Memory_sink::Quad& q : sink.quads)
        if (q.r == 1.f && q.g == 0.3f) {   // the failure's glyphs, in its own colour
            ++status_quads;
            EXPECT_LE(q.x1, limit) << q.x0;
            EXPECT_TRUE(q.y0 >= 0.f && q.y1 <= 40.f) << q.y0 << " " << q.y1;   // one line, above the entries
        }
    EXPECT_GT(status_quads, 20u);
    // An outcome of what the operator does next replaces it.
    ui.status.set_status("exported to /media/stick/ledsys");
    platform_gbk_to_utf8(ui.status.text(), said, sizeof said);
    EXPECT_STREQ(said, "exported to /media/stick/ledsys");
    EXPECT_FALSE(ui.status.status_is_failure());
}

