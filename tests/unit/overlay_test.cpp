// Measured rectangles: outline, dimension labels and dimension lines.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "app/startup.h"
#include "render/outline_font.h"
#include "render/overlay.h"
#include "tests/unit/sink_fixture.h"

#include "tests/unit/test_scene.h"

// The scene under test (reset before every test).
static Scene& scene = test_scene();

namespace {

using std::make_tuple;

class Overlay_test : public Sink_test {
protected:
    void SetUp() override {
        Sink_test::SetUp();
        std::string err;
        ASSERT_TRUE(startup_open_face(font, nullptr, 0, &err)) << err;
    }
    graph_draw rect(int32_t x, int32_t y, int32_t w, int32_t h) {
        graph_draw g;
        g.x = x, g.y = y, g.width = w, g.height = h, g.in_use = 1;
        return g;
    }
    // The texture names of the quads drawn, as the characters they show.
    std::u16string label_text(size_t from, size_t to) const {
        std::u16string out;
        for (size_t i = from; i < to; ++i)
            for (char16_t c : std::u16string(u"0123456789"))
                if (font.glyph_cache[c].texture == sink.quads[i].texture) out += c;
        return out;
    }
};

// A rectangle's outline (dashed when selected), green labels of its size and dimension lines with gaps.
TEST_F(Overlay_test, OutlineLabelsAndDimensionLines) {
    draw_overlay(screen, rect(300, 300, 50, 25), scene.dot_pitch);
    ASSERT_EQ(make_tuple(sink.loops.size(), sink.quads.size(), sink.segments.size()), make_tuple(1u, 4u, 1u));
    EXPECT_EQ(sink.loops[0].xy, (std::vector<float>{300, 300, 400, 300, 400, 350, 300, 350}));
    EXPECT_EQ(make_tuple(sink.loops[0].stippled, sink.loops[0].r), make_tuple(false, 1.0f));   // white by default
    EXPECT_EQ(make_tuple(label_text(0, 2), label_text(2, 4)), make_tuple(u"50", u"25"));
    EXPECT_EQ(make_tuple(sink.quads[0].g, sink.quads[0].r), make_tuple(1.0f, 0.0f));   // green
    // The width label starts at x + width - 8, the height label at x - 20.
    EXPECT_FLOAT_EQ(sink.quads[0].x0, float(300 + 50 - 8 + font.glyph_cache[u'5'].left));
    EXPECT_FLOAT_EQ(sink.quads[2].x0, float(300 - 20 + font.glyph_cache[u'2'].left));
    const std::vector<float>& s = sink.segments[0].xy;
    ASSERT_EQ(s.size(), 32u);
    EXPECT_EQ(make_tuple(sink.segments[0].stippled, sink.segments[0].g), make_tuple(true, 1.0f));
    // Width dimension line, with its gap at x + width (pixels) = 350.
    EXPECT_EQ((std::vector<float>(s.begin() + 8, s.begin() + 16)),
              (std::vector<float>{300, 290, 335, 290, 365, 290, 400, 290}));
    // Height dimension line, gap at y + height = 325.
    EXPECT_EQ((std::vector<float>(s.begin() + 24, s.begin() + 32)),
              (std::vector<float>{290, 300, 290, 310, 290, 340, 290, 350}));
    EXPECT_FALSE(sink.stipple);

    sink.clear();   // selected: the outline dashed
    draw_overlay_selected(screen, rect(300, 300, 50, 25), scene.dot_pitch);
    ASSERT_EQ(sink.loops.size(), 1u);
    EXPECT_EQ(make_tuple(sink.loops[0].stippled, sink.loops[0].pattern, sink.stipple),
              make_tuple(true, 0xAAAA, false));
}

// Wrapped extents draw no labels, negative ones show their size, zero 0; zoomed gaps stay at dot counts.
TEST_F(Overlay_test, OddExtentsAndZoom) {
    draw_overlay(screen, rect(300, 300, 0x7FFFFFF6, 10), scene.dot_pitch);   // dragged left of the corner
    ASSERT_EQ(sink.loops.size(), 1u);
    EXPECT_EQ(sink.loops[0].xy[2], 280);   // x + 2 * width wraps to x - 20
    EXPECT_EQ(make_tuple(sink.quads.size(), sink.segments.size()), make_tuple(0u, 0u));
    sink.clear();
    draw_overlay(screen, rect(300, 300, -7, 5), scene.dot_pitch);
    EXPECT_EQ(label_text(0, 1), u"7");
    EXPECT_EQ(sink.loops[0].xy[2], 286);   // the outline runs left
    sink.clear();
    draw_overlay(screen, rect(300, 300, 0, 0), scene.dot_pitch);
    EXPECT_EQ(label_text(0, 2), u"00");

    sink.clear();
    set_dot_pitch(scene, 4);
    draw_overlay(screen, rect(300, 300, 40, 20), scene.dot_pitch);
    const std::vector<float>& s = sink.segments.at(0).xy;
    // The gap is 15 either side of x + 40, a quarter of the line's 160 pixels.
    EXPECT_EQ(make_tuple(s[10], s[12], s[14]), make_tuple(300 + 40 - 15, 300 + 40 + 15, 300 + 160));
}

}  // namespace
