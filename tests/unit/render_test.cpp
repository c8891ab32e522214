// LED dots, the shape primitives, digit pictures and the element draws,
// seen through the memory sink.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "render/led_dots.h"
#include "render/led_framebuffer.h"
#include "render/shapes.h"
#include "tests/unit/sink_fixture.h"

#include "tests/unit/test_scene.h"

// The scene under test (reset before every test).
static Scene& scene = test_scene();

namespace {

using Dot = std::pair<int, int>;
using Dots = std::set<Dot>;
using Order = std::vector<Dot>;
using std::make_tuple;

class Dot_test : public Sink_test {};

// Codes 1 and 2 are green and yellow, every other code red (as the card shows them), whatever was
// drawn before; every dot is dot_pitch wide; dots off the window are dropped.
TEST_F(Dot_test, ColourCodesPointSizesAndDotsOffTheWindow) {
    set_dot_pitch(scene, 5);
    sink.set_colour(0.5f, 0.25f, 1);   // e.g. a label's colour
    const struct { uint8_t code; int x; } plots[] = {{99, 9}, {led_red, 10}, {led_green, 11}, {led_yellow, 12},
                                                     {led_highlight, 13}, {led_green, -1000}, {7, 14},
                                                     {led_red, 5000}, {99, 15}};
    for (const auto& p : plots) editor_ref().light(p.code, p.x, 10);
    const struct { int x; float r, g, size; } want[] = {
        {9, 1, 0, 5}, {10, 1, 0, 5}, {11, 0, 1, 5}, {12, 1, 1, 5},   // (10, 1, 0) clamps to yellow
        {13, 1, 0, 5}, {14, 1, 0, 5}, {15, 1, 0, 5}};
    ASSERT_EQ(sink.dots.size(), std::size(want));
    for (size_t i = 0; i < std::size(want); ++i) {
        const Memory_sink::Dot& d = sink.dots[i];
        EXPECT_EQ(make_tuple(int(d.x), d.r, d.g, d.size), make_tuple(want[i].x, want[i].r, want[i].g, want[i].size));
    }
}

// The line walk lights its start three times, then each step, ending on the end.
TEST_F(Dot_test, LineWalkPlotsTheStartThriceAndEndsOnTheEnd) {
    const struct { int x0, y0, x1, y1; Order want; } cases[] = {
        {0, 0, 3, 2, {{0, 0}, {0, 0}, {0, 0}, {1, 1}, {2, 1}, {3, 2}}},
        {5, 5, 5, 5, {{5, 5}, {5, 5}, {5, 5}}},
        {10, 10, 6, 10, {{10, 10}, {10, 10}, {10, 10}, {9, 10}, {8, 10}, {7, 10}, {6, 10}}},   // leftwards
    };
    for (const auto& c : cases) {
        sink.clear();
        draw_line(editor_ref(), 0, c.x0, c.y0, c.x1, c.y1);
        Order order;
        for (const auto& d : sink.dots) order.push_back({int(d.x), int(d.y)});
        EXPECT_EQ(order, c.want) << "(" << c.x0 << "," << c.y0 << ") to (" << c.x1 << "," << c.y1 << ")";
    }
}

// A circle lies on its radius with eightfold symmetry; radius 0 lights the centre, < 0 nothing.
TEST_F(Dot_test, CircleIsSymmetricOnItsRadiusAndRadiusZeroLightsItsCentre) {
    draw_circle(editor_ref(), 0, 300, 300, 20);
    const Dots dots = lit();
    for (auto [x, y] : dots) {
        EXPECT_TRUE(dots.count({600 - x, y}) && dots.count({x, 600 - y}) && dots.count({y, x})) << x << "," << y;
        EXPECT_NEAR(std::hypot(x - 300, y - 300), 20, 1.0) << x << "," << y;
    }
    EXPECT_TRUE(dots.count({320, 300}) && dots.count({300, 280}));
    sink.clear();
    draw_circle(editor_ref(), 0, 100, 100, 0);
    EXPECT_EQ(lit(), (Dots{{100, 100}}));
    sink.clear();
    draw_circle(editor_ref(), 0, 100, 100, -1);
    EXPECT_TRUE(sink.dots.empty());
}

// A target that records its dots, with a pitch of choice.
struct Recording_target final : Draw_target {
    explicit Recording_target(int p) { pitch = p; }
    void light(uint8_t, int32_t x, int32_t y) override { dots.push_back({x, y}); }
    Order dots;
    // The lit cells as rows of '#' and '.'.
    std::vector<std::string> picture(int w, int h) const {
        std::vector<std::string> rows(h, std::string(w, '.'));
        for (auto [x, y] : dots)
            if (x >= 0 && x < w && y >= 0 && y < h) rows[y][x] = '#';
        return rows;
    }
};

// A rectangle is its four sides, walked from corner to corner; a block is filled once; side 0 draws nothing.
TEST_F(Dot_test, RectangleIsFourLinesInOrderAndBlockIsFilled) {
    draw_rect(editor_ref(), 1, 10, 20, 14, 22);
    Dots want;
    for (int x = 10; x <= 14; ++x) want.insert({x, 20}), want.insert({x, 22});
    for (int y = 20; y <= 22; ++y) want.insert({10, y}), want.insert({14, y});
    EXPECT_EQ(lit(), want);
    EXPECT_EQ(make_tuple(int(sink.dots.front().x), int(sink.dots.back().x), int(sink.dots.back().y)),
              make_tuple(10, 14, 22));
    sink.clear();
    draw_block(editor_ref(), 0, 10, 10, 3);
    EXPECT_EQ(make_tuple(lit().size(), sink.dots.size()), make_tuple(9u, 9u));
    sink.clear();
    draw_block(editor_ref(), 0, 10, 10, 0);
    EXPECT_TRUE(sink.dots.empty());

    // Only the visible part is walked; a hidden block lights its first dot alone (the colour state).
    Recording_target small(1);
    small.clip_left = small.clip_top = 0, small.clip_right = small.clip_bottom = 9;
    draw_block(small, 0, 8, 8, 3);
    draw_block(small, 0, 20, 20, 3);
    // At the end of the 32-bit range nothing wraps round to the far side.
    draw_block(small, 0, INT32_MAX, INT32_MAX - 1, 3);
    Recording_target whole(1);
    draw_block(whole, 0, INT32_MAX, INT32_MAX - 1, 3);
    EXPECT_EQ(small.dots, (Order{{8, 8}, {8, 9}, {9, 8}, {9, 9}, {20, 20}, {INT32_MAX, INT32_MAX - 1}}));
    EXPECT_EQ(whole.dots, (Order{{INT32_MAX, INT32_MAX - 1}, {INT32_MAX, INT32_MAX}}));
}

TEST_F(Dot_test, HugeFiguresStayCheapAndKeepTheirVisiblePart) {
    // A rectangle 65,530 dots wide at pitch 2, from x 300.
    draw_rect(editor_ref(), 0, 300, 300, 300 + 2 * 65530, 400);
    // A line thousands of dots long, leftwards, off to negative x.
    draw_line(editor_ref(), 0, 600, 500, 600 - 2 * 9000, 500);
    draw_block(editor_ref(), 0, 400, 200, 255);
    draw_circle(editor_ref(), 0, 600, 400, 2000000000);   // encloses the whole window
    draw_circle(editor_ref(), 0, -100000, 400, 1000);     // far off to the left
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
    Led_framebuffer sign(64, 32);
    const int32_t r = INT32_MAX - 1;
    draw_circle(sign, 2, 20, r, r);   // centre far below: the rim is the top row, nearly flat
    EXPECT_GT(sign.lit_count(), 60);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            if (sign.at(x, y) != Led_framebuffer::dark) {
                const double dx = x - 20, dy = static_cast<double>(y) - r;
                EXPECT_NEAR(std::sqrt(dx * dx + dy * dy), r, 1.0) << x << "," << y;
            }
}

// Digits are seven-segment figures of the given height and stroke, dots a pitch apart; none or height 0: nothing.
TEST_F(Dot_test, DigitsAreSevenSegmentFigures) {
    Recording_target one(1), two(1);
    draw_number(one, 0, 0, 0, 8, 1, 5, 1);
    EXPECT_EQ(one.picture(4, 5), (std::vector<std::string>{"####", "#..#", "####", "#..#", "####"}));
    EXPECT_EQ(one.dots.size(), 16u);   // every dot once
    draw_number(two, 0, 0, 0, 10, 2, 5, 1);   // "1" then "0", 6 dots apart
    EXPECT_EQ(two.picture(10, 5), (std::vector<std::string>{"...#..####", "...#..#..#", "...#..#..#",
                                                            "...#..#..#", "...#..####"}));

    set_dot_pitch(scene, 3);
    draw_number(editor_ref(), 1, 100, 100, 8, 1, 9, 2);   // 9 dots tall, strokes 2 dots, at the editor's pitch 3
    const Dots dots = lit();
    int maxx = 0, maxy = 0;
    for (auto [x, y] : dots) maxx = std::max(maxx, x), maxy = std::max(maxy, y);
    // Width max(9/2+1, 2*2+2) = 6 dots; the top bar 2 rows thick above the hole; in the element's colour.
    EXPECT_EQ(make_tuple(maxx, maxy, dots.count({103, 103}), dots.count({106, 106}), sink.dots.front().g),
              make_tuple(100 + 5 * 3, 100 + 8 * 3, 1u, 0u, 1.0f));
    sink.clear();
    draw_number(editor_ref(), 0, 0, 0, 8, 0, 5, 1);
    draw_number(editor_ref(), 0, 0, 0, 8, 5, 5, 1);
    EXPECT_TRUE(sink.dots.empty());
}

Digit_unit element(uint8_t kind, uint32_t x, uint32_t y, int width, int height, int pitch = 2) {
    Digit_unit d;
    d.kind = kind, d.x = x, d.y = y, d.width = width, d.height = height, d.pitch = static_cast<uint8_t>(pitch);
    return d;
}

// Each kind lights its dots: block sides are the low 8 bits of pitch x height, digits eights; others nothing.
TEST_F(Dot_test, ElementsOfEachKindLightTheirDots) {
    const struct { const char* what; uint8_t kind; int width, height, pitch; size_t lit, plotted; Dot corner; }
        cases[] = {
        {"line of 10 dots spans 20 pixels", kind_hline, 10, 0, 2, 21, 0, {320, 300}},
        {"pair of blocks touches at pitch 2", kind_block_pair, 0, 5, 2, 200, 200, {309, 319}},
        {"pair of blocks overlaps at pitch 3", kind_block_pair, 0, 5, 3, 15 * 25, 2 * 225, {314, 324}},
        {"block side 2 x 200 = 400 -> 144", kind_block, 0, 200, 2, 144 * 144, 144 * 144, {443, 443}},
        {"digit element: two eights of 16 dots", kind_digit, 28, 20, 2, 32, 0, {300, 300}},
    };
    for (const auto& c : cases) {   // corner: a dot that must be lit; plotted 0: not checked
        sink.clear();
        set_dot_pitch(scene, c.pitch);
        Digit_unit d = element(c.kind, 300, 300, c.width, c.height, c.pitch);
        d.digits = 2, d.param_a = 5, d.param_b = 1;
        draw_digit(d, false);
        const Dots dots = lit();
        ASSERT_FALSE(dots.empty()) << c.what;
        EXPECT_EQ(make_tuple(dots.size(), dots.count(c.corner), dots.begin()->first), make_tuple(c.lit, 1u, 300))
            << c.what;
        if (c.plotted) {
            EXPECT_EQ(sink.dots.size(), c.plotted) << c.what;
        }
    }
    // A digit is drawn in its colour, and a selected one stays visible.
    set_dot_pitch(scene, 2);
    Digit_unit d = element(kind_digit, 300, 300, 28, 20);
    d.digits = 2, d.param_a = 5, d.param_b = 1, d.colour = 2;
    sink.clear();
    draw_digit(d, true);
    EXPECT_EQ(make_tuple(lit().size(), sink.dots[0].r, sink.dots[0].g), make_tuple(32u, 1.0f, 1.0f));   // yellow
    // Kinds without a picture draw nothing, selected or not.
    sink.clear();
    for (uint8_t kind : {uint8_t{6}, uint8_t{7}, uint8_t{9}, uint8_t{200}}) {
        Digit_unit e = element(kind, 300, 300, 10, 10);
        draw_digit(e, false);
        draw_digit(e, true);
    }
    EXPECT_TRUE(sink.dots.empty());
}

// After a pitch change the edit settles elements in the grid onto it; in the margins they stay at
// pitch 2 (selected: the current), and the draw shows them where they were settled.
TEST_F(Dot_test, PositionFollowsThePitchInsideTheGridOnly) {
    const struct { const char* what; uint8_t kind; uint32_t x, y; int record_pitch, pitch; bool selected, enabled;
                   uint32_t want_x, want_y; int want_pitch, last_lit_x; } cases[] = {   // last_lit_x -1: none
        {"inside the grid", kind_hline, 252, 142, 2, 3, false, true, 253, 143, 3, 253 + 30},
        {"left margin", kind_hline, 230, 376, 2, 3, false, true, 230, 376, 2, 250},
        {"edge of the left margin", kind_hline, 250, 376, 2, 3, false, true, 250, 376, 2, 270},
        {"above the screen at pitch 4", kind_vline, 350, 40, 2, 4, false, true, 350, 40, 2, 350},
        {"above the screen back at 2", kind_vline, 350, 40, 4, 2, false, true, 350, 40, 2, 350},
        {"selected in the margin", kind_hline, 250, 300, 2, 3, true, true, 250, 300, 3, 280},
        {"unselected again", kind_hline, 250, 300, 3, 3, false, true, 250, 300, 2, 270},
        {"selected left of the grid", kind_hline, 85, 535, 2, 3, true, true, 85, 535, 3, 115},
        {"disabled", kind_rect, 300, 300, 2, 3, false, false, 300, 300, 2, -1},
        {"disabled and selected", kind_rect, 300, 300, 2, 3, true, false, 300, 300, 2, -1},
    };
    for (const auto& c : cases) {
        sink.clear();
        reset_scene(scene);
        set_dot_pitch(scene, c.pitch);
        Digit_unit& d = scene.digit_at(3, 7);
        d = element(c.kind, c.x, c.y, 10, c.kind == kind_hline ? 0 : 10, c.record_pitch);
        d.enabled = c.enabled;
        if (c.selected) scene.selected_digit_row = 3, scene.selected_digit_col = 7;
        settle_after_edit(scene);
        draw_digit(d, c.selected);
        EXPECT_EQ(make_tuple(d.x, d.y, int(d.pitch)), make_tuple(c.want_x, c.want_y, c.want_pitch)) << c.what;
        if (c.last_lit_x < 0) {
            EXPECT_TRUE(sink.dots.empty()) << c.what;
            continue;
        }
        ASSERT_FALSE(sink.dots.empty()) << c.what;
        EXPECT_EQ(lit().rbegin()->first, c.last_lit_x) << c.what;
    }
}

}  // namespace
