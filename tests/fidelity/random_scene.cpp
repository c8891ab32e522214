#include "random_scene.h"

#include <cstdio>
#include <random>
#include <string>

#include "platform/platform.h"
#include "scene/pools.h"
#include "scene/view_state.h"
#include "ui/menus.h"

namespace {

std::string gbk(const char* utf8) {
    char out[512];
    platform_utf8_to_gbk(utf8, out, sizeof out);
    return out;
}

}  // namespace

Random_scene make_random_scene(Scene& scene, uint32_t seed, bool with_digits) {
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    reset_scene(scene);

    Random_scene s;
    s.pitch = pick(2, 5);
    set_dot_pitch(scene, s.pitch);
    build_layout(scene);
    s.rows = pick(1, 2);
    s.cols = pick(1, 3);
    // The grid stays inside the window, clear of the status line.
    const int max_w = 900 / (s.cols * s.pitch), max_h = 500 / (s.rows * s.pitch);
    const int widths[] = {16, 32, 48, 64, 96, 128}, heights[] = {16, 24, 32, 48, 64};
    do s.width = widths[pick(0, 5)]; while (s.width > max_w);
    do s.height = heights[pick(0, 4)]; while (s.height > max_h);
    // One scene in four: the other boards were laid out for another board
    // size (SysCfg.ini's size changed since), as their records still say.
    s.stored_width = s.width, s.stored_height = s.height;
    if (pick(0, 3) == 0 && s.rows * s.cols > 1) {
        s.stored_width = s.width + 8 * pick(-1, 1);
        s.stored_height = s.height + 8 * pick(-1, 1);
    }
    scene.board_rows = s.rows;
    scene.board_columns = scene.export_columns = s.cols;
    const int bx = 276, by = 226;
    for (int r = 0; r < s.rows; ++r)
        for (int c = 0; c < s.cols; ++c) {
            led_unit& u = scene.board_at(r, c);
            const bool first = r == 0 && c == 0;
            u.width = first ? s.width : s.stored_width;
            u.height = first ? s.height : s.stored_height;
            u.x = bx + c * s.stored_width * s.pitch;
            u.y = by + r * s.stored_height * s.pitch;
        }
    scene.board_at(0, 0).x = bx, scene.board_at(0, 0).y = by;

    const int screen_w = s.cols * s.width, screen_h = s.rows * s.height;
    // A place on an LED of the screen: now and then a board's corner or an
    // LED just before the edge to the next board.
    auto place = [&](uint32_t* x, uint32_t* y) {
        int lx = pick(0, screen_w - 1), ly = pick(0, screen_h - 1);
        switch (pick(0, 5)) {
            case 0: lx = pick(0, s.cols - 1) * s.width, ly = pick(0, s.rows - 1) * s.height; break;
            case 1: lx = pick(1, s.cols) * s.width - pick(1, 6); break;
            case 2: ly = pick(1, s.rows) * s.height - pick(1, 6); break;
            default: break;
        }
        *x = static_cast<uint32_t>(bx + lx * s.pitch);
        *y = static_cast<uint32_t>(by + ly * s.pitch);
    };
    const bool odd_scene = pick(0, 5) == 0;
    auto colour = [&]() {
        if (odd_scene && pick(0, 2) == 0) {
            s.odd_colours = true;
            return pick(3, 9);
        }
        return pick(0, 2);
    };

    const std::string samples[] = {gbk("Hello World"), gbk("温度 25°C"), gbk("LED 显示屏"), gbk("a b"),
                                   gbk("欢迎光临"), gbk("0123456789"), gbk("Wg|_~"), gbk("中文ABC")};
    // Heights the card has, and some it lacks (taken to its nearest one).
    const uint8_t font_sizes[] = {12, 16, 24, 32, 14, 20, 28};
    s.texts = pick(0, 4);
    for (int k = 5; k < 5 + s.texts; ++k) {
        string_draw& t = scene.string_draws[k];
        t.pitch = s.pitch;
        t.font_size = font_sizes[pick(0, 6)];
        t.colour = colour();
        t.text_source = 0;
        std::snprintf(t.text, sizeof t.text, "%s", samples[pick(0, 7)].c_str());
        place(&t.x, &t.y);
    }

    const uint8_t kinds[] = {kind_block, kind_hline, kind_circle, kind_vline, kind_rect, kind_digit, kind_block_pair};
    const int elements = pick(1, 10);
    for (int n = 0; n < elements; ++n) {
        Digit_unit& d = scene.digit_at(2 + n / 7, 40 + n % 7);
        const uint8_t kind = kinds[pick(0, 6)];
        Digit_unit made = d;
        made.kind = kind;
        made.pitch = static_cast<uint8_t>(s.pitch);
        made.colour = static_cast<uint8_t>(colour());
        made.width = pick(0, 40);
        made.height = kind == kind_block || kind == kind_block_pair ? pick(1, 16) : pick(0, 24);
        made.digits = pick(1, 4), made.param_a = pick(5, 14), made.param_b = pick(1, 3);
        made.type_code = pick(0, 1) ? 11 : pick(0, 40);
        place(&made.x, &made.y);
        if (kind == kind_digit) {
            if (!with_digits) continue;   // left in the palette
            ++s.digits;
        } else {
            ++s.shapes;
        }
        d = made;
    }
    return s;
}
