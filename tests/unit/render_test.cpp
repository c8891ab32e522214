// LED dots, the shape primitives, digit pictures and the element draws,
// seen through the memory sink.
#include <gtest/gtest.h>

#include <cmath>

#include <map>
#include <random>

#include "app/scene_json.h"
#include "render/bitmap_font.h"
#include "render/led_dots.h"
#include "render/led_framebuffer.h"
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

// A figure cut by the clip region lights exactly the dots the whole walk
// lights there; a circle of radius 2^31 - 2 whose rim crosses a small
// screen is walked only where it shows, and stays on its radius.
TEST_F(Dot_test, ClippedFiguresLightWhatTheWholeWalkLights) {
    std::mt19937 rng(7);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int n = 0; n < 400; ++n) {
        Led_framebuffer whole(420, 420), part(70, 50);
        int ox = pick(0, 350), oy = pick(0, 370);
        // Circles are seen around their diagonal, where the walk ends.
        if (n % 2 == 0) ox = 210 + n / 2 * 7 / 10 - 35, oy = 210 - n / 2 * 7 / 10 - 25;
        struct Shifted final : Draw_target {
            Led_framebuffer& fb;
            int dx, dy;
            Shifted(Led_framebuffer& f, int x, int y) : fb(f), dx(x), dy(y) {
                clip_left = x, clip_top = y, clip_right = x + 69, clip_bottom = y + 49;
            }
            void light(uint8_t c, int32_t x, int32_t y) override { fb.light(c, x - dx, y - dy); }
        } window(part, ox, oy);
        if (n % 2) {
            const int x0 = pick(0, 419), y0 = pick(0, 419), x1 = pick(0, 419), y1 = pick(0, 419);
            draw_line(whole, 1, x0, y0, x1, y1);
            draw_line(window, 1, x0, y0, x1, y1);
        } else {
            const int r = n / 2, cx = 210, cy = 210;   // every radius to 199
            draw_circle(whole, 1, cx, cy, r);
            draw_circle(window, 1, cx, cy, r);
        }
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 70; ++x)
                ASSERT_EQ(part.at(x, y), whole.at(x + ox, y + oy)) << n << " at " << x << "," << y;
    }
    Led_framebuffer screen(64, 32);
    const int32_t r = INT32_MAX - 1;
    draw_circle(screen, 2, 20, r, r);   // centre far below: the rim is the top row, nearly flat
    EXPECT_GT(screen.lit_count(), 60);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            if (screen.at(x, y) != Led_framebuffer::dark) {
                const double dx = x - 20, dy = static_cast<double>(y) - r;
                EXPECT_NEAR(std::sqrt(dx * dx + dy * dy), r, 1.0) << x << "," << y;
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

// --- One LED per unit: the card's picture of the editor's primitives ----------

namespace {

// LED colour code of a recorded editor dot.
int code_of(const Memory_sink::Dot& d) {
    if (d.r == 1 && d.g == 0) return 0;
    if (d.r == 0 && d.g == 1) return 1;
    return 2;
}

// The editor's dots since the last clear, as LEDs of a board whose corner
// is (ox, oy) at pitch p: LED -> colour.
std::map<std::pair<int, int>, int> as_leds(const Memory_sink& sink, int ox, int oy, int p) {
    std::map<std::pair<int, int>, int> leds;
    for (const auto& d : sink.dots) leds[{(int(d.x) - ox) / p, (int(d.y) - oy) / p}] = code_of(d);
    return leds;
}

std::map<std::pair<int, int>, int> lit_leds(const Led_framebuffer& fb) {
    std::map<std::pair<int, int>, int> leds;
    for (int y = 0; y < fb.height(); ++y)
        for (int x = 0; x < fb.width(); ++x)
            if (fb.at(x, y) != Led_framebuffer::dark) leds[{x, y}] = fb.at(x, y);
    return leds;
}

}  // namespace

TEST_F(Dot_test, FramebufferLightsTheLedsTheEditorShowsAndLeavesTheEditorAlone) {
    const std::string fonts = VANTIRO_FONT_DIR;
    set_bitmap_font_path(font_hzk16, (fonts + "/HZK/16/HZK16C").c_str());
    set_bitmap_font_path(font_asc16, (fonts + "/ASC/ASC16_8").c_str());
    set_dot_pitch(3);
    const std::string before = scene_json();

    Led_framebuffer fb(80, 40), ring(80, 40);
    Digit_unit digit;
    digit.colour = 1, digit.digits = 2, digit.param_a = 7, digit.param_b = 1;
    const char text[] = "\xB0\xA1" "A b";   // GB2312 "啊", then A, a blank and b
    draw_line(fb, 1, 2, 3, 20, 3);
    draw_block(fb, 2, 2, 30, 4);
    draw_digit_picture(fb, digit, 50, 2);
    draw_text_bitmap(fb, 16, 0, 2, 12, text);
    draw_circle(ring, 0, 40, 20, 6);
    // Nothing reached the editor: no dot in its sink, no record changed.
    EXPECT_TRUE(sink.dots.empty());
    EXPECT_EQ(scene_json(), before);

    // Exact LEDs of the simple figures.
    for (int x = 2; x <= 20; ++x) EXPECT_EQ(fb.at(x, 3), 1) << x;
    EXPECT_EQ(fb.at(21, 3), Led_framebuffer::dark);
    for (int x = 2; x < 6; ++x)
        for (int y = 30; y < 34; ++y) EXPECT_EQ(fb.at(x, y), 2);
    EXPECT_EQ(fb.at(6, 30), Led_framebuffer::dark);
    EXPECT_EQ(ring.at(46, 20), 0);   // the rim, radius 6 around (40, 20)
    EXPECT_EQ(ring.at(40, 20), Led_framebuffer::dark);

    // The editor draws the same figures in window pixels at pitch 3, with the
    // board's corner at (300, 200): every dot it lights is the same LED.
    const int ox = 300, oy = 200, p = 3;
    draw_line(1, ox + p * 2, oy + p * 3, ox + p * 20, oy + p * 3);
    draw_block(2, ox + p * 2, oy + p * 30, static_cast<uint8_t>(p * 4));
    draw_digit_picture(editor_target(), digit, ox + p * 50, oy + p * 2);
    draw_text_bitmap(16, 0, ox + p * 2, oy + p * 12, text);
    EXPECT_EQ(as_leds(sink, ox, oy, p), lit_leds(fb));
    EXPECT_GT(fb.lit_count(), 19 + 16 + 40);

    // A circle of radius 6 LEDs is one of radius 18 pixels there: within one LED.
    sink.clear();
    draw_circle(0, ox + p * 40, oy + p * 20, p * 6);
    const auto editor = as_leds(sink, ox, oy, p), card = lit_leds(ring);
    auto near = [](const std::map<std::pair<int, int>, int>& a, std::pair<int, int> led) {
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy)
                if (a.count({led.first + dx, led.second + dy})) return true;
        return false;
    };
    for (const auto& [led, colour] : editor) EXPECT_TRUE(near(card, led));
    for (const auto& [led, colour] : card) EXPECT_TRUE(near(editor, led));
}
