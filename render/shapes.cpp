#include "render/shapes.h"

#include <algorithm>
#include <cstdlib>

#include "render/led_dots.h"
#include "scene/view_state.h"

namespace {

// Pixels beyond the drawing area that a dot can still reach (half of the
// largest point size, rounded up generously).
constexpr int64_t reach = 256;

bool box_visible(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    return x1 >= -reach && y1 >= -reach && x0 <= view_width + reach && y0 <= view_height + reach;
}

int32_t wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

}  // namespace

void draw_line(uint8_t colour, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    int64_t dx = int64_t{x1} - x0, dy = int64_t{y1} - y0;
    const int sx = (dx > 0) - (dx < 0), sy = (dy > 0) - (dy < 0);
    dx = std::llabs(dx);
    dy = std::llabs(dy);
    const int64_t d = std::max(dx, dy);

    plot_dot(colour, x0, y0);
    if (!box_visible(std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)))
        return;   // every further dot would be dropped

    if (d > 0 && (dx == 0 || dy == 0)) {
        // Straight line: the walk plots the start twice more, then start + k
        // steps for k = 1 .. d. Only the steps inside the drawing area are
        // walked, so a line of any length costs at most the window's size.
        plot_dot(colour, x0, y0);
        plot_dot(colour, x0, y0);
        const int64_t start = dx ? x0 : y0;
        const int s = dx ? sx : sy;
        const int64_t lo = -reach, hi = (dx ? view_width : view_height) + reach;
        int64_t kmin = s > 0 ? lo - start : start - hi;
        int64_t kmax = s > 0 ? hi - start : start - lo;
        kmin = std::max<int64_t>(kmin, 1);
        kmax = std::min<int64_t>(kmax, d);
        for (int64_t k = kmin; k <= kmax; ++k) {
            int64_t v = start + s * k;
            if (dx)
                plot_dot(colour, static_cast<int32_t>(v), y0);
            else
                plot_dot(colour, x0, static_cast<int32_t>(v));
        }
        return;
    }

    int64_t x = x0, y = y0, ex = 0, ey = 0;
    for (int64_t i = 0; i < d + 2; ++i) {
        plot_dot(colour, static_cast<int32_t>(x), static_cast<int32_t>(y));
        ex += dx;
        ey += dy;
        if (ex > d) {
            ex -= d;
            x += sx;
        }
        if (ey > d) {
            ey -= d;
            y += sy;
        }
    }
}

void draw_circle(uint8_t colour, int32_t xc, int32_t yc, int32_t r) {
    if (r < 0) return;
    const int64_t cx = xc, cy = yc, rr = r;
    // A circle wholly outside the drawing area, or one so large that the
    // whole area lies inside it, lights no visible dot.
    bool outside = !box_visible(cx - rr, cy - rr, cx + rr, cy + rr);
    bool around = false;
    if (!outside && rr > reach) {
        const int64_t inner = rr - reach;
        around = true;
        for (int64_t px : {-reach, int64_t{view_width} + reach})
            for (int64_t py : {-reach, int64_t{view_height} + reach})
                if ((px - cx) * (px - cx) + (py - cy) * (py - cy) >= inner * inner) around = false;
    }
    if (outside || around) {
        plot_dot(colour, wrap32(cx), wrap32(cy + rr));   // colour state as if drawn
        return;
    }
    int64_t a = 0, b = rr, e = 3 - 2 * rr;
    while (a <= b) {
        plot_dot(colour, wrap32(cx + a), wrap32(cy + b));
        plot_dot(colour, wrap32(cx - a), wrap32(cy + b));
        plot_dot(colour, wrap32(cx + a), wrap32(cy - b));
        plot_dot(colour, wrap32(cx - a), wrap32(cy - b));
        plot_dot(colour, wrap32(cx + b), wrap32(cy + a));
        plot_dot(colour, wrap32(cx - b), wrap32(cy + a));
        plot_dot(colour, wrap32(cx + b), wrap32(cy - a));
        plot_dot(colour, wrap32(cx - b), wrap32(cy - a));
        ++a;
        if (e < 0) {
            e += 4 * a + 6;
        } else {
            e += 4 * (a - b) + 10;
            --b;
        }
    }
}

void draw_rect(uint8_t colour, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    draw_line(colour, x0, y0, x1, y0);
    draw_line(colour, x0, y1, x1, y1);
    draw_line(colour, x0, y0, x0, y1);
    draw_line(colour, x1, y0, x1, y1);
}

void draw_block(uint8_t colour, int32_t x, int32_t y, uint8_t n) {
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) plot_dot(colour, x + i, y + j);
}

// Seven-segment geometry, in dots of the digit's own grid (column c to the
// right, row r down), for stroke weight w = b (held to 1..3):
//   height H = max(a, 2w + 3)      width W = max(H / 2 + 1, 2w + 2)
//   middle bar from row m = (H - w) / 2
//        aaaa         a: rows 0..w-1,     all columns
//       f    b        b: columns W-w..W-1, rows 0..m+w-1   f: columns 0..w-1, same rows
//       f    b        g: rows m..m+w-1,    all columns
//        gggg         c: columns W-w..W-1, rows m..H-1     e: columns 0..w-1, same rows
//       e    c        d: rows H-w..H-1,    all columns
//        dddd
// Digits stand W + w + 1 dots apart, most significant first; each lit dot
// is plotted once, row by row.
void draw_number(uint8_t colour, int32_t x, int32_t y, int32_t value, int32_t digits, uint8_t a,
                 uint8_t b, int pitch) {
    if (digits < 1 || digits > 4) return;
    static const uint8_t segments[10] = {
        // bit 0 a, 1 b, 2 c, 3 d, 4 e, 5 f, 6 g
        0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F,
    };
    const int w = std::clamp<int>(b, 1, 3);
    const int h = std::max<int>(a, 2 * w + 3);
    const int wd = std::max(h / 2 + 1, 2 * w + 2);
    const int m = (h - w) / 2;
    const int step = wd + w + 1;

    int64_t v = std::llabs(int64_t{value});
    int digit_of[4];
    for (int k = digits - 1; k >= 0; --k) {
        digit_of[k] = static_cast<int>(v % 10);
        v /= 10;
    }
    for (int k = 0; k < digits; ++k) {
        const uint8_t lit = segments[digit_of[k]];
        const int64_t left = int64_t{x} + int64_t{k} * step * pitch;
        for (int r = 0; r < h; ++r) {
            const bool top = r < w, bottom = r >= h - w, mid = r >= m && r < m + w;
            const bool upper = r < m + w, lower = r >= m;
            for (int c = 0; c < wd; ++c) {
                const bool lcol = c < w, rcol = c >= wd - w;
                const bool on = (top && (lit & 0x01)) || (rcol && upper && (lit & 0x02)) ||
                                (rcol && lower && (lit & 0x04)) || (bottom && (lit & 0x08)) ||
                                (lcol && lower && (lit & 0x10)) || (lcol && upper && (lit & 0x20)) ||
                                (mid && (lit & 0x40));
                if (on) plot_dot(colour, wrap32(left + int64_t{c} * pitch), wrap32(int64_t{y} + int64_t{r} * pitch));
            }
        }
    }
}

namespace {

// Draws kinds 0 to 5 at pitch p; kind 8 as a digit picture.
void draw_kind(const Digit_unit& e, int p) {
    const int32_t x = static_cast<int32_t>(e.x), y = static_cast<int32_t>(e.y);
    const uint8_t c = e.colour;
    const uint32_t up = static_cast<uint32_t>(p);
    auto add = [](int32_t base, uint32_t offset) {
        return static_cast<int32_t>(static_cast<uint32_t>(base) + offset);
    };
    const uint32_t pw = up * static_cast<uint32_t>(e.width);
    const uint32_t ph = up * static_cast<uint32_t>(e.height);
    // Block side: low byte of height times p, low 8 bits kept.
    const uint8_t side = static_cast<uint8_t>(up * (static_cast<uint32_t>(e.height) & 0xFF));
    switch (e.kind) {
        case kind_block: draw_block(c, x, y, side); break;
        case kind_hline: draw_line(c, x, y, add(x, pw), y); break;
        case kind_circle: draw_circle(c, x, y, static_cast<int32_t>(ph)); break;
        case kind_block_pair:
            draw_block(c, x, y, side);
            // The second block is 2 x height pixels lower, not scaled by p.
            draw_block(c, x, add(y, 2u * static_cast<uint32_t>(e.height)), side);
            break;
        case kind_vline: draw_line(c, x, y, x, add(y, ph)); break;
        case kind_rect: draw_rect(c, x, y, add(x, pw), add(y, ph)); break;
        case kind_digit: {
            static const int32_t eights[5] = {0, 8, 88, 888, 8888};
            if (e.digits >= 1 && e.digits <= 4)
                draw_number(c, x, y, eights[e.digits], e.digits, static_cast<uint8_t>(e.param_a),
                            static_cast<uint8_t>(e.param_b), p);
            break;
        }
        default: break;   // 6, 7 and 9..255 draw nothing
    }
}

}  // namespace

int draw_digit_unit(Digit_unit& e) {
    if (!e.enabled) return -1;
    if (outside_dot_grid(e.x, e.y)) {
        e.pitch = 2;   // palette and margins: fixed look, fixed place
    } else if (e.pitch != dot_pitch) {
        move_to_current_pitch(&e.x, &e.y, e.pitch);
        e.pitch = dot_pitch;
    }
    draw_kind(e, e.pitch);
    return 0;
}

int draw_digit_unit_selected(Digit_unit& e) {
    if (!e.enabled) return -1;
    if (e.pitch != dot_pitch) {
        move_to_current_pitch(&e.x, &e.y, e.pitch);   // outside the grid: stays put
        e.pitch = dot_pitch;
    }
    draw_kind(e, dot_pitch);
    return 0;
}
