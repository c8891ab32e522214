#include "render/shapes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "render/bitmap_font.h"
#include "render/led_dots.h"
#include "scene/pools.h"
#include "scene/view_state.h"

namespace {

int32_t wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

}  // namespace

void draw_line(Draw_target& t, uint8_t colour, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    int64_t dx = int64_t{x1} - x0, dy = int64_t{y1} - y0;
    const int sx = (dx > 0) - (dx < 0), sy = (dy > 0) - (dy < 0);
    dx = std::llabs(dx);
    dy = std::llabs(dy);
    const int64_t d = std::max(dx, dy);

    t.light(colour, x0, y0);
    if (!t.clip_holds(std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)))
        return;   // every further dot would be dropped

    if (d > 0 && (dx == 0 || dy == 0)) {
        // Straight line: the walk plots the start twice more, then start + k
        // steps for k = 1 .. d. Only the steps inside the clip region are
        // walked, so a line of any length costs at most the target's size.
        t.light(colour, x0, y0);
        t.light(colour, x0, y0);
        const int64_t start = dx ? x0 : y0;
        const int s = dx ? sx : sy;
        const int64_t lo = dx ? t.clip_left : t.clip_top, hi = dx ? t.clip_right : t.clip_bottom;
        int64_t kmin = s > 0 ? lo - start : start - hi;
        int64_t kmax = s > 0 ? hi - start : start - lo;
        kmin = std::max<int64_t>(kmin, 1);
        kmax = std::min<int64_t>(kmax, d);
        for (int64_t k = kmin; k <= kmax; ++k) {
            int64_t v = start + s * k;
            if (dx)
                t.light(colour, static_cast<int32_t>(v), y0);
            else
                t.light(colour, x0, static_cast<int32_t>(v));
        }
        return;
    }

    const bool whole = std::min(x0, x1) >= t.clip_left && std::max(x0, x1) <= t.clip_right &&
                       std::min(y0, y1) >= t.clip_top && std::max(y0, y1) <= t.clip_bottom;
    if (!whole) {
        // Partly outside: the walk's i-th dot is known in closed form (an
        // axis steps once each time its accumulator passes d), and each
        // coordinate moves one way only, so the visible dots are one run
        // of i, found by bisection. A line of any length costs at most the
        // clip region's size.
        auto at = [&](int64_t i, int64_t delta, int64_t start, int s) -> int64_t {
            if (i == 0 || delta == 0) return start;
            return start + s * static_cast<int64_t>((static_cast<__int128>(i) * delta - 1) / d);
        };
        auto first = [&](auto holds) {   // first i in [0, d + 2) where holds, else d + 2
            int64_t lo = 0, hi = d + 2;
            while (lo < hi) {
                const int64_t mid = lo + (hi - lo) / 2;
                if (holds(mid)) hi = mid; else lo = mid + 1;
            }
            return lo;
        };
        int64_t lo = 0, hi = d + 1;
        auto narrow = [&](int64_t delta, int64_t start, int s, int64_t low, int64_t high) {
            auto c = [&](int64_t i) { return at(i, delta, start, s); };
            if (s >= 0) {
                lo = std::max(lo, first([&](int64_t i) { return c(i) >= low; }));
                hi = std::min(hi, first([&](int64_t i) { return c(i) > high; }) - 1);
            } else {
                lo = std::max(lo, first([&](int64_t i) { return c(i) <= high; }));
                hi = std::min(hi, first([&](int64_t i) { return c(i) < low; }) - 1);
            }
        };
        narrow(dx, x0, sx, t.clip_left, t.clip_right);
        narrow(dy, y0, sy, t.clip_top, t.clip_bottom);
        for (int64_t i = lo; i <= hi; ++i)
            t.light(colour, static_cast<int32_t>(at(i, dx, x0, sx)), static_cast<int32_t>(at(i, dy, y0, sy)));
        return;
    }

    int64_t x = x0, y = y0, ex = 0, ey = 0;
    for (int64_t i = 0; i < d + 2; ++i) {
        t.light(colour, static_cast<int32_t>(x), static_cast<int32_t>(y));
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

namespace {

using i128 = __int128;

int64_t isqrt(i128 n) {
    if (n <= 0) return 0;
    int64_t x = static_cast<int64_t>(std::sqrt(static_cast<long double>(n)));
    while (static_cast<i128>(x) * x > n) --x;
    while (static_cast<i128>(x + 1) * (x + 1) <= n) ++x;
    return x;
}

// The midpoint walk below, in closed form. At step a with row b its
// decision value is 2a^2 + 8a + 2b^2 - 2b + 3 - 2r^2; it keeps b while that
// is negative. So the row after step k is the largest b whose value at k
// is negative (at most r), except near the diagonal, where b falls by one
// a step at most.
int64_t largest_row(int64_t k, int64_t r) {
    const i128 rhs = 2 * static_cast<i128>(r) * r - 2 * static_cast<i128>(k) * k - 8 * static_cast<i128>(k) - 3;
    if (rhs <= 0) return -1;
    int64_t b = (1 + isqrt(1 + 2 * rhs)) / 2 + 2;
    while (2 * static_cast<i128>(b) * b - 2 * b >= rhs) --b;
    return b;
}
int64_t row_bound(int64_t a, int64_t r) { return a == 0 ? r : std::min(r, largest_row(a - 1, r)); }
int64_t walk_row(int64_t a, int64_t r) {
    return a == 0 ? r : std::max(row_bound(a, r), row_bound(a - 1, r) - 1);
}

// A circle that reaches past the clip region: only the steps of the walk
// that light a visible dot are taken, so a circle of any size costs at
// most a few times the region's size. Each of the eight symmetric dots is
// visible for one run of steps (a grows, the row shrinks), found by
// bisection.
void draw_clipped_circle(Draw_target& t, uint8_t colour, int64_t cx, int64_t cy, int64_t r) {
    t.light(colour, wrap32(cx), wrap32(cy + r));   // the walk's first dot: colour state as drawn
    auto last_true = [](int64_t lo, int64_t hi, auto holds) {   // holds true..false on [lo, hi]
        if (lo > hi || !holds(lo)) return lo - 1;
        while (lo < hi) {
            const int64_t mid = lo + (hi - lo + 1) / 2;
            if (holds(mid)) lo = mid; else hi = mid - 1;
        }
        return lo;
    };
    const int64_t last = last_true(0, r, [&](int64_t a) { return a <= walk_row(a, r); });
    std::pair<int64_t, int64_t> runs[8];
    int run_count = 0;
    for (int sx : {1, -1})
        for (int sy : {1, -1})
            for (bool swap : {false, true}) {
                // The step a moves one coordinate, the row b the other.
                const int sa = swap ? sy : sx, sb = swap ? sx : sy;
                const int64_t ca = swap ? cy : cx, cb = swap ? cx : cy;
                const int64_t la = swap ? t.clip_top : t.clip_left, ha = swap ? t.clip_bottom : t.clip_right;
                const int64_t lb = swap ? t.clip_left : t.clip_top, hb = swap ? t.clip_right : t.clip_bottom;
                int64_t lo = std::max<int64_t>(0, sa > 0 ? la - ca : ca - ha);
                int64_t hi = std::min(last, sa > 0 ? ha - ca : ca - la);
                const int64_t row_lo = sb > 0 ? lb - cb : cb - hb, row_hi = sb > 0 ? hb - cb : cb - lb;
                // Rows shrink as a grows: row <= row_hi from some a on, row >= row_lo up to some a.
                lo = std::max(lo, last_true(0, last, [&](int64_t a) { return walk_row(a, r) > row_hi; }) + 1);
                hi = std::min(hi, last_true(0, last, [&](int64_t a) { return walk_row(a, r) >= row_lo; }));
                if (lo <= hi) runs[run_count++] = {lo, hi};
            }
    for (int i = 1; i < run_count; ++i)   // at most eight: insertion sort
        for (int j = i; j > 0 && runs[j] < runs[j - 1]; --j) std::swap(runs[j], runs[j - 1]);
    int64_t done = -1;
    for (int k = 0; k < run_count; ++k) {
        const auto [from, to] = runs[k];
        for (int64_t a = std::max(from, done + 1); a <= to; ++a) {
            const int64_t b = walk_row(a, r);
            for (int sx : {1, -1})
                for (int sy : {1, -1}) {
                    t.light(colour, wrap32(cx + sx * a), wrap32(cy + sy * b));
                    t.light(colour, wrap32(cx + sx * b), wrap32(cy + sy * a));
                }
        }
        done = std::max(done, to);
    }
}

}  // namespace

void draw_circle(Draw_target& t, uint8_t colour, int32_t xc, int32_t yc, int32_t r) {
    if (r < 0) return;
    const int64_t cx = xc, cy = yc, rr = r;
    // A circle wholly outside the clip region, or one so large that the
    // whole region lies inside it (two units inside its rim: the walk
    // strays less than a unit from the true rim), lights no visible dot.
    bool outside = !t.clip_holds(cx - rr, cy - rr, cx + rr, cy + rr);
    bool around = false;
    if (!outside && rr > 2) {
        using wide = __int128;   // squares of 33-bit differences
        const wide inner = rr - 2;
        around = true;
        for (int64_t px : {t.clip_left, t.clip_right})
            for (int64_t py : {t.clip_top, t.clip_bottom}) {
                const wide ddx = px - cx, ddy = py - cy;
                if (ddx * ddx + ddy * ddy >= inner * inner) around = false;
            }
    }
    if (outside || around) {
        t.light(colour, wrap32(cx), wrap32(cy + rr));   // colour state as if drawn
        return;
    }
    const bool whole = cx - rr >= t.clip_left && cx + rr <= t.clip_right && cy - rr >= t.clip_top &&
                       cy + rr <= t.clip_bottom;
    if (!whole) {
        draw_clipped_circle(t, colour, cx, cy, rr);
        return;
    }
    int64_t a = 0, b = rr, e = 3 - 2 * rr;
    while (a <= b) {
        t.light(colour, wrap32(cx + a), wrap32(cy + b));
        t.light(colour, wrap32(cx - a), wrap32(cy + b));
        t.light(colour, wrap32(cx + a), wrap32(cy - b));
        t.light(colour, wrap32(cx - a), wrap32(cy - b));
        t.light(colour, wrap32(cx + b), wrap32(cy + a));
        t.light(colour, wrap32(cx - b), wrap32(cy + a));
        t.light(colour, wrap32(cx + b), wrap32(cy - a));
        t.light(colour, wrap32(cx - b), wrap32(cy - a));
        ++a;
        if (e < 0) {
            e += 4 * a + 6;
        } else {
            e += 4 * (a - b) + 10;
            --b;
        }
    }
}

void draw_rect(Draw_target& t, uint8_t colour, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    draw_line(t, colour, x0, y0, x1, y0);
    draw_line(t, colour, x0, y1, x1, y1);
    draw_line(t, colour, x0, y0, x0, y1);
    draw_line(t, colour, x1, y0, x1, y1);
}

// Columns outer, rows inner. Only the part inside the clip region is
// walked; units past the 32-bit range do not exist (nothing wraps round to
// the far side), so a block at x = 2^31 - 1 is one column wide.
void draw_block(Draw_target& t, uint8_t colour, int32_t x, int32_t y, uint8_t n) {
    if (n == 0) return;
    const int64_t left = std::max<int64_t>(x, t.clip_left);
    const int64_t top = std::max<int64_t>(y, t.clip_top);
    const int64_t right = std::min({int64_t{x} + n - 1, t.clip_right, int64_t{INT32_MAX}});
    const int64_t bottom = std::min({int64_t{y} + n - 1, t.clip_bottom, int64_t{INT32_MAX}});
    if (left > right || top > bottom) {
        t.light(colour, x, y);   // nothing shows: the colour state as if drawn
        return;
    }
    for (int64_t i = left; i <= right; ++i)
        for (int64_t j = top; j <= bottom; ++j)
            t.light(colour, static_cast<int32_t>(i), static_cast<int32_t>(j));
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
void draw_number(Draw_target& t, uint8_t colour, int32_t x, int32_t y, int32_t value,
                 int32_t digits, uint8_t a, uint8_t b) {
    if (digits < 1 || digits > 4) return;
    const int64_t pitch = t.pitch;
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
                if (on) t.light(colour, wrap32(left + int64_t{c} * pitch), wrap32(int64_t{y} + int64_t{r} * pitch));
            }
        }
    }
}

namespace {

// Draws kinds 0 to 5 at pitch p (window pixels per dot); kind 8 as a digit
// picture whose dots lie p pixels apart.
void draw_kind(Draw_target& t, const Digit_unit& e, int p) {
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
        case kind_block: draw_block(t, c, x, y, side); break;
        case kind_hline: draw_line(t, c, x, y, add(x, pw), y); break;
        case kind_circle: draw_circle(t, c, x, y, static_cast<int32_t>(ph)); break;
        case kind_block_pair:
            draw_block(t, c, x, y, side);
            // The second block is 2 x height pixels lower, not scaled by p.
            draw_block(t, c, x, add(y, 2u * static_cast<uint32_t>(e.height)), side);
            break;
        case kind_vline: draw_line(t, c, x, y, x, add(y, ph)); break;
        case kind_rect: draw_rect(t, c, x, y, add(x, pw), add(y, ph)); break;
        case kind_digit:
            if (e.digits >= 1 && e.digits <= 4) {
                if (p == t.pitch) {
                    draw_digit_picture(t, e, x, y);
                } else {
                    Pitch_target at_p(t, p);
                    draw_digit_picture(at_p, e, x, y);
                }
            }
            break;
        default: break;   // 6, 7 and 9..255 draw nothing
    }
}

}  // namespace

void draw_digit_picture(Draw_target& t, const Digit_unit& e, int32_t x, int32_t y) {
    static const int32_t eights[5] = {0, 8, 88, 888, 8888};
    if (e.digits < 1 || e.digits > 4) return;
    draw_number(t, e.colour, x, y, eights[e.digits], e.digits, static_cast<uint8_t>(e.param_a),
                static_cast<uint8_t>(e.param_b));
}

void draw_digit_unit(Draw_target& grid, Draw_target& margin, const Digit_unit& e, bool selected) {
    if (!e.enabled) return;
    if (!selected && outside_dot_grid(e.x, e.y))
        draw_kind(margin, e, 2);
    else
        draw_kind(grid, e, grid.pitch);
}
