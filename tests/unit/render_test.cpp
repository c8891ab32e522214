// LED dots, the shape primitives, digit pictures and the element draws,
// seen through the memory sink.
#include <gtest/gtest.h>

#include <cmath>

#include "render/led_dots.h"
#include "render/shapes.h"
#include "tests/unit/sink_fixture.h"

namespace {

using Dots = std::set<std::pair<int, int>>;

class Dot_test : public Sink_test {};

TEST_F(Dot_test, ColourTableAndPointSizes) {
    set_dot_pitch(5);
    plot_dot(led_red, 10, 10);
    plot_dot(led_green, 11, 10);
    plot_dot(led_yellow, 12, 10);
    plot_dot(led_highlight, 13, 10);
    ASSERT_EQ(sink.dots.size(), 4u);
    EXPECT_EQ(sink.dots[0].r, 1);
    EXPECT_EQ(sink.dots[0].g, 0);
    EXPECT_EQ(sink.dots[1].g, 1);
    EXPECT_EQ(sink.dots[1].r, 0);
    EXPECT_EQ(sink.dots[2].r, 1);   // (10, 1, 0) clamps to yellow
    EXPECT_EQ(sink.dots[2].g, 1);
    EXPECT_EQ(sink.dots[0].size, 5);
    // The highlight is 2 pixels whatever the pitch, in orange.
    EXPECT_EQ(sink.dots[3].size, 2);
    EXPECT_FLOAT_EQ(sink.dots[3].g, 0.2f);
}

TEST_F(Dot_test, OtherCodesKeepThePreviousColour) {
    plot_dot(led_green, 10, 10);
    plot_dot(7, 20, 10);
    sink.set_colour(0.5f, 0.25f, 1);   // e.g. a label's colour
    plot_dot(99, 30, 10);
    ASSERT_EQ(sink.dots.size(), 3u);
    EXPECT_EQ(sink.dots[1].g, 1);
    EXPECT_EQ(sink.dots[1].size, 2);
    EXPECT_FLOAT_EQ(sink.dots[2].r, 0.5f);
}

TEST_F(Dot_test, DotsOutsideTheWindowAreDroppedButSetTheColour) {
    plot_dot(led_green, -1000, 10);
    plot_dot(7, 5000, 10);
    plot_dot(7, 10, 10);
    ASSERT_EQ(sink.dots.size(), 1u);
    EXPECT_EQ(sink.dots[0].g, 1);
}

TEST_F(Dot_test, LineWalkPlotsTheStartThriceAndEndsOnTheEnd) {
    draw_line(0, 0, 0, 3, 2);
    std::vector<std::pair<int, int>> order;
    for (const auto& d : sink.dots) order.push_back({int(d.x), int(d.y)});
    std::vector<std::pair<int, int>> want = {{0, 0}, {0, 0}, {0, 0}, {1, 1}, {2, 1}, {3, 2}};
    EXPECT_EQ(order, want);

    sink.clear();
    draw_line(0, 5, 5, 5, 5);
    EXPECT_EQ(sink.dots.size(), 3u);
    EXPECT_EQ(lit(), (Dots{{5, 5}}));

    sink.clear();
    draw_line(0, 10, 10, 6, 10);   // leftwards
    EXPECT_EQ(lit(), (Dots{{6, 10}, {7, 10}, {8, 10}, {9, 10}, {10, 10}}));
    EXPECT_EQ(sink.dots.size(), 7u);
}

TEST_F(Dot_test, CircleOfRadiusZeroLightsItsCentre) {
    draw_circle(0, 100, 100, 0);
    EXPECT_EQ(lit(), (Dots{{100, 100}}));
    sink.clear();
    draw_circle(0, 100, 100, -1);
    EXPECT_TRUE(sink.dots.empty());
}

TEST_F(Dot_test, CircleIsSymmetricAndOnItsRadius) {
    draw_circle(0, 300, 300, 20);
    Dots dots = lit();
    for (auto [x, y] : dots) {
        EXPECT_TRUE(dots.count({600 - x, y}));
        EXPECT_TRUE(dots.count({x, 600 - y}));
        EXPECT_TRUE(dots.count({300 + (y - 300), 300 + (x - 300)}));
        double r = std::hypot(x - 300, y - 300);
        EXPECT_NEAR(r, 20, 1.0);
    }
    EXPECT_TRUE(dots.count({320, 300}));
    EXPECT_TRUE(dots.count({300, 280}));
}

TEST_F(Dot_test, RectangleIsFourLinesInOrder) {
    draw_rect(1, 10, 20, 14, 22);
    Dots want;
    for (int x = 10; x <= 14; ++x) want.insert({x, 20}), want.insert({x, 22});
    for (int y = 20; y <= 22; ++y) want.insert({10, y}), want.insert({14, y});
    EXPECT_EQ(lit(), want);
    EXPECT_EQ(int(sink.dots.front().x), 10);
    EXPECT_EQ(int(sink.dots.back().x), 14);
    EXPECT_EQ(int(sink.dots.back().y), 22);
}

TEST_F(Dot_test, BlockIsFilledAndZeroSideDrawsNothing) {
    draw_block(0, 10, 10, 3);
    EXPECT_EQ(lit().size(), 9u);
    EXPECT_EQ(sink.dots.size(), 9u);
    sink.clear();
    draw_block(0, 10, 10, 0);
    EXPECT_TRUE(sink.dots.empty());
}

TEST_F(Dot_test, HugeFiguresStayCheapAndKeepTheirVisiblePart) {
    // A rectangle 65,530 dots wide at pitch 2, from x 300.
    draw_rect(0, 300, 300, 300 + 2 * 65530, 400);
    // A line thousands of dots long, leftwards, off to negative x.
    draw_line(0, 600, 500, 600 - 2 * 9000, 500);
    draw_block(0, 400, 200, 255);
    draw_circle(0, 600, 400, 2000000000);   // encloses the whole window
    draw_circle(0, -100000, 400, 1000);     // far off to the left
    // Only what can be seen is walked: a few thousand dots, not millions.
    EXPECT_LT(sink.dots.size(), 100000u);
    Dots dots = lit();
    // The visible parts are all there.
    for (int x = 300; x < 1200; ++x) ASSERT_TRUE(dots.count({x, 300})) << x;
    for (int x = 0; x <= 600; ++x) ASSERT_TRUE(dots.count({x, 500})) << x;
    EXPECT_TRUE(dots.count({400 + 254, 200 + 254}));
    // And nothing was drawn far outside the window.
    for (auto [x, y] : dots) {
        ASSERT_GE(x, -300);
        ASSERT_LE(x, 1500);
    }
}

// --- Digit pictures ----------------------------------------------------------

// The digit's lit cells as rows of '#' and '.', for pitch 1 at (0, 0).

// A target that records its dots, with a pitch of choice.
struct Recording_target final : Draw_target {
    explicit Recording_target(int p) { pitch = p; }
    void light(uint8_t colour, int32_t x, int32_t y) override { dots.push_back({x, y, colour}); }
    struct Dot { int32_t x, y; uint8_t colour; };
    std::vector<Dot> dots;
    std::vector<std::string> picture(int w, int h) const {
        std::vector<std::string> rows(h, std::string(w, '.'));
        for (const Dot& d : dots)
            if (d.x >= 0 && d.x < w && d.y >= 0 && d.y < h) rows[d.y][d.x] = '#';
        return rows;
    }
};

TEST_F(Dot_test, DigitsAreSevenSegmentFigures) {
    Recording_target one(1);
    draw_number(one, 0, 0, 0, 8, 1, 5, 1);
    EXPECT_EQ(one.picture(4, 5), (std::vector<std::string>{"####", "#..#", "####", "#..#", "####"}));
    EXPECT_EQ(one.dots.size(), 16u);   // every dot once

    Recording_target two(1);
    draw_number(two, 0, 0, 0, 10, 2, 5, 1);   // "1" then "0", 6 dots apart
    auto rows = two.picture(10, 5);
    EXPECT_EQ(rows, (std::vector<std::string>{"...#..####", "...#..#..#", "...#..#..#",
                                              "...#..#..#", "...#..####"}));
}

TEST_F(Dot_test, DigitHeightStrokeAndPitch) {
    set_dot_pitch(3);
    draw_number(1, 100, 100, 8, 1, 9, 2);   // 9 dots tall, strokes 2 dots, at the editor's pitch 3
    Dots dots = lit();
    int maxx = 0, maxy = 0;
    for (auto [x, y] : dots) maxx = std::max(maxx, x), maxy = std::max(maxy, y);
    EXPECT_EQ(maxy, 100 + 8 * 3);
    EXPECT_EQ(maxx, 100 + 5 * 3);   // width max(9/2+1, 2*2+2) = 6
    EXPECT_TRUE(dots.count({103, 103}));    // top bar is 2 rows thick
    EXPECT_FALSE(dots.count({106, 106}));   // the hole between the bars
    EXPECT_EQ(sink.dots.front().g, 1);      // in the element's colour

    sink.clear();
    draw_number(0, 0, 0, 8, 0, 5, 1);
    draw_number(0, 0, 0, 8, 5, 5, 1);
    EXPECT_TRUE(sink.dots.empty());
}

// --- Element draws -------------------------------------------------------------

Digit_unit element(uint8_t kind, uint32_t x, uint32_t y, int width, int height) {
    Digit_unit d;
    d.kind = kind;
    d.x = x;
    d.y = y;
    d.width = width;
    d.height = height;
    d.pitch = 2;
    return d;
}

TEST_F(Dot_test, HorizontalLineOfTenDotsSpansTwentyPixels) {
    Digit_unit d = element(kind_hline, 300, 300, 10, 0);
    draw_digit_unit(d);
    Dots dots = lit();
    EXPECT_EQ(dots.size(), 21u);
    EXPECT_EQ(dots.begin()->first, 300);
    EXPECT_EQ(dots.rbegin()->first, 320);
}

TEST_F(Dot_test, PairOfBlocksTouchesAtPitchTwoAndOverlapsAtThree) {
    Digit_unit d = element(kind_block_pair, 300, 300, 0, 5);
    draw_digit_unit(d);
    Dots dots = lit();
    EXPECT_EQ(dots.size(), 200u);   // two 10 x 10 blocks, touching
    EXPECT_TRUE(dots.count({309, 319}));

    sink.clear();
    set_dot_pitch(3);
    Digit_unit e = element(kind_block_pair, 300, 300, 0, 5);
    e.pitch = 3;
    draw_digit_unit(e);
    dots = lit();
    EXPECT_EQ(dots.size(), 15u * 25u);   // 15 x 15 blocks, 5 rows shared
    EXPECT_EQ(sink.dots.size(), 2u * 225u);
}

TEST_F(Dot_test, BlockSideIsTheLowEightBitsOfPitchTimesHeight) {
    Digit_unit d = element(kind_block, 300, 300, 0, 200);   // 2 * 200 = 400 -> 144
    draw_digit_unit(d);
    EXPECT_EQ(sink.dots.size(), 144u * 144u);
}

TEST_F(Dot_test, KindsWithoutAPictureDrawNothing) {
    for (uint8_t kind : {6, 7, 9, 200}) {
        Digit_unit d = element(kind, 300, 300, 10, 10);
        draw_digit_unit(d);
        draw_digit_unit_selected(d);
    }
    EXPECT_TRUE(sink.dots.empty());
}

TEST_F(Dot_test, DigitElementShowsItsDigitsOfEights) {
    Digit_unit d = element(kind_digit, 300, 300, 28, 20);
    d.digits = 2;
    d.param_a = 5;
    d.param_b = 1;
    d.colour = 2;
    draw_digit_unit(d);
    EXPECT_EQ(lit().size(), 32u);   // two full eights of 16 dots
    EXPECT_EQ(sink.dots[0].g, 1);   // yellow
    sink.clear();
    draw_digit_unit_selected(d);    // a selected digit stays visible
    EXPECT_EQ(lit().size(), 32u);
}

TEST_F(Dot_test, DisabledRecordDrawsNothingAndStaysPut) {
    set_dot_pitch(3);
    Digit_unit d = element(kind_rect, 300, 300, 10, 10);
    d.enabled = 0;
    EXPECT_EQ(draw_digit_unit(d), -1);
    EXPECT_EQ(draw_digit_unit_selected(d), -1);
    EXPECT_TRUE(sink.dots.empty());
    EXPECT_EQ(d.x, 300u);
    EXPECT_EQ(d.pitch, 2);
}

TEST_F(Dot_test, PositionFollowsThePitchInsideTheGrid) {
    set_dot_pitch(3);
    Digit_unit d = element(kind_hline, 252, 142, 1, 0);
    EXPECT_EQ(draw_digit_unit(d), 0);
    EXPECT_EQ(d.x, 253u);
    EXPECT_EQ(d.y, 143u);
    EXPECT_EQ(d.pitch, 3);
    EXPECT_EQ(lit().rbegin()->first, 256);   // drawn at pitch 3
}

TEST_F(Dot_test, LeftMarginAndTopMarginKeepTheirPlaceAndPitchTwo) {
    set_dot_pitch(3);
    for (uint32_t x : {230u, 250u}) {
        sink.clear();
        Digit_unit d = element(kind_hline, x, 376, 10, 0);
        draw_digit_unit(d);
        EXPECT_EQ(d.x, x);
        EXPECT_EQ(d.y, 376u);
        EXPECT_EQ(d.pitch, 2);
        EXPECT_EQ(lit().rbegin()->first, int(x) + 20);
    }
    // Above the screen (the vertical-line palette entry): no jump either.
    Digit_unit v = element(kind_vline, 350, 40, 5, 20);
    set_dot_pitch(4);
    draw_digit_unit(v);
    EXPECT_EQ(v.x, 350u);
    EXPECT_EQ(v.y, 40u);
    set_dot_pitch(2);
    draw_digit_unit(v);
    EXPECT_EQ(v.x, 350u);
    EXPECT_EQ(v.y, 40u);
}

TEST_F(Dot_test, SelectedDrawUsesTheCurrentPitchEvenInTheMargin) {
    set_dot_pitch(3);
    Digit_unit d = element(kind_hline, 250, 300, 10, 0);
    draw_digit_unit_selected(d);
    EXPECT_EQ(d.x, 250u);
    EXPECT_EQ(d.pitch, 3);
    EXPECT_EQ(lit().rbegin()->first, 280);
    draw_digit_unit(d);
    EXPECT_EQ(d.pitch, 2);
    EXPECT_EQ(d.x, 250u);

    // Left of the grid and selected: it keeps its position too.
    Digit_unit e = element(kind_hline, 85, 535, 10, 0);
    draw_digit_unit_selected(e);
    EXPECT_EQ(e.x, 85u);
    EXPECT_EQ(e.y, 535u);
}

}  // namespace
