// Measured rectangles: outline, dimension labels and dimension lines.
#include <gtest/gtest.h>

#include <string>

#include "app/startup.h"
#include "render/outline_font.h"
#include "render/overlay.h"
#include "tests/unit/sink_fixture.h"

namespace {

class Overlay_test : public Sink_test {
protected:
    void SetUp() override {
        Sink_test::SetUp();
        std::string err;
        ASSERT_TRUE(startup_open_face(nullptr, 0, &err)) << err;
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
                if (glyph_cache[c].texture == sink.quads[i].texture) out += c;
        return out;
    }
};

// A rectangle's outline (dashed when selected), green labels of its size and dimension lines with gaps.
TEST_F(Overlay_test, OutlineLabelsAndDimensionLines) {
    draw_overlay(rect(300, 300, 50, 25));
    ASSERT_EQ(sink.loops.size(), 1u);
    EXPECT_EQ(sink.loops[0].xy, (std::vector<float>{300, 300, 400, 300, 400, 350, 300, 350}));
    EXPECT_FALSE(sink.loops[0].stippled);
    EXPECT_EQ(sink.loops[0].r, 1);   // white by default
    ASSERT_EQ(sink.quads.size(), 4u);
    EXPECT_EQ(label_text(0, 2), u"50");
    EXPECT_EQ(label_text(2, 4), u"25");
    EXPECT_EQ(sink.quads[0].g, 1);   // green
    EXPECT_EQ(sink.quads[0].r, 0);
    // The width label starts at x + width - 8, the height label at x - 20.
    EXPECT_FLOAT_EQ(sink.quads[0].x0, float(300 + 50 - 8 + glyph_cache[u'5'].left));
    EXPECT_FLOAT_EQ(sink.quads[2].x0, float(300 - 20 + glyph_cache[u'2'].left));
    ASSERT_EQ(sink.segments.size(), 1u);
    const std::vector<float>& s = sink.segments[0].xy;
    ASSERT_EQ(s.size(), 32u);
    EXPECT_TRUE(sink.segments[0].stippled);
    EXPECT_EQ(sink.segments[0].g, 1);
    // Width dimension line, with its gap at x + width (pixels) = 350.
    EXPECT_EQ((std::vector<float>(s.begin() + 8, s.begin() + 16)),
              (std::vector<float>{300, 290, 335, 290, 365, 290, 400, 290}));
    // Height dimension line, gap at y + height = 325.
    EXPECT_EQ((std::vector<float>(s.begin() + 24, s.begin() + 32)),
              (std::vector<float>{290, 300, 290, 310, 290, 340, 290, 350}));
    EXPECT_FALSE(sink.stipple);

    sink.clear();   // selected: the outline dashed
    draw_overlay_selected(rect(300, 300, 50, 25));
    ASSERT_EQ(sink.loops.size(), 1u);
    EXPECT_TRUE(sink.loops[0].stippled);
    EXPECT_EQ(sink.loops[0].pattern, 0xAAAA);
    EXPECT_FALSE(sink.stipple);
}

// Odd extents: a wrapped width draws no labels or lines, a negative one is
// labelled by its absolute value, zero as 0; zoomed, gaps stay at raw dot counts.
TEST_F(Overlay_test, OddExtentsAndZoom) {
    draw_overlay(rect(300, 300, 0x7FFFFFF6, 10));   // dragged left of the corner
    EXPECT_EQ(sink.loops.size(), 1u);
    EXPECT_EQ(sink.loops[0].xy[2], 280);             // x + 2 * width wraps to x - 20
    EXPECT_TRUE(sink.quads.empty());
    EXPECT_TRUE(sink.segments.empty());
    sink.clear();
    draw_overlay(rect(300, 300, -7, 5));
    EXPECT_EQ(label_text(0, 1), u"7");
    EXPECT_EQ(sink.loops[0].xy[2], 286);   // the outline runs left
    sink.clear();
    draw_overlay(rect(300, 300, 0, 0));
    EXPECT_EQ(label_text(0, 2), u"00");

    sink.clear();
    set_dot_pitch(4);
    draw_overlay(rect(300, 300, 40, 20));
    const std::vector<float>& s = sink.segments.at(0).xy;
    EXPECT_EQ(s[10], 300 + 40 - 15);   // a quarter of the way along 160 pixels
    EXPECT_EQ(s[12], 300 + 40 + 15);
    EXPECT_EQ(s[14], 300 + 160);
}

}  // namespace
