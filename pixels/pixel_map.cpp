#include "pixels/pixel_map.h"

#include <algorithm>
#include <cstdio>

void pixel_order_place(const Pixel_order& order, int w, int h, long k, int* x, int* y) {
    const long run = order.columns ? h : w;   // places in one line
    const long line = k / run;
    long pos = k % run;
    if (order.serpentine && (line & 1)) pos = run - 1 - pos;
    int px = static_cast<int>(order.columns ? line : pos);
    int py = static_cast<int>(order.columns ? pos : line);
    if (order.corner == Pixel_corner::top_right || order.corner == Pixel_corner::bottom_right) px = w - 1 - px;
    if (order.corner == Pixel_corner::bottom_left || order.corner == Pixel_corner::bottom_right) py = h - 1 - py;
    *x = px;
    *y = py;
}

bool pixel_mapping_fits(const Pixel_mapping& m, int width, int height, std::string* err) {
    if (m.panel_width == 0 && m.panel_height == 0) return true;
    if (m.panel_width <= 0 || m.panel_height <= 0 || width % m.panel_width != 0 || height % m.panel_height != 0) {
        *err = "pixels: panels of " + std::to_string(m.panel_width) + " x " + std::to_string(m.panel_height) +
               " do not tile an area of " + std::to_string(width) + " x " + std::to_string(height) + " LEDs";
        return false;
    }
    return true;
}

void pixel_palette_make(const Pixel_colours& c, int brightness, Pixel_palette* out) {
    const int level = (brightness >= 1 && brightness <= 9) ? 10 - brightness : 9;
    for (int code = 0; code < 256; ++code)
        for (int k = 0; k < 3; ++k)
            out->rgb[code][k] = code <= 2 ? static_cast<uint8_t>((c.rgb[code][k] * level + 4) / 9) : 0;
}

bool Pixel_map::make(int screen_width, int screen_height, const Pixel_area& area, const Pixel_mapping& m,
                     std::string* err) {
    if (area.x < 0 || area.y < 0 || area.width <= 0 || area.height <= 0 || area.x + area.width > screen_width ||
        area.y + area.height > screen_height) {
        *err = "pixels: the area " + std::to_string(area.x) + "," + std::to_string(area.y) + "," +
               std::to_string(area.width) + "," + std::to_string(area.height) + " is not within the " +
               std::to_string(screen_width) + " x " + std::to_string(screen_height) + " screen";
        return false;
    }
    if (!pixel_mapping_fits(m, area.width, area.height, err)) return false;
    const long n = static_cast<long>(area.width) * area.height;
    source_.resize(static_cast<size_t>(n));
    const bool panels = m.panel_width > 0;
    const int pw = panels ? m.panel_width : area.width, ph = panels ? m.panel_height : area.height;
    const long per_panel = static_cast<long>(pw) * ph;
    for (long i = 0; i < n; ++i) {
        int panel_x = 0, panel_y = 0, x, y;
        if (panels) pixel_order_place(m.panels, area.width / pw, area.height / ph, i / per_panel, &panel_x, &panel_y);
        pixel_order_place(m.pixels, pw, ph, i % per_panel, &x, &y);
        const long sx = area.x + static_cast<long>(panel_x) * pw + x;
        const long sy = area.y + static_cast<long>(panel_y) * ph + y;
        source_[static_cast<size_t>(i)] = static_cast<uint32_t>(sy * screen_width + sx);
    }
    return true;
}

void Pixel_map::fill(const uint8_t* leds, const Pixel_palette& palette, uint8_t* rgb) const {
    for (uint32_t s : source_) {
        const uint8_t* c = palette.rgb[leds[s]];
        rgb[0] = c[0];
        rgb[1] = c[1];
        rgb[2] = c[2];
        rgb += 3;
    }
}

namespace {
const char* const corner_names[] = {"top-left", "top-right", "bottom-left", "bottom-right"};
}

bool pixel_corner_from_name(const std::string& name, Pixel_corner* out) {
    for (int i = 0; i < 4; ++i)
        if (name == corner_names[i]) {
            *out = static_cast<Pixel_corner>(i);
            return true;
        }
    return false;
}

const char* pixel_corner_name(Pixel_corner c) { return corner_names[static_cast<int>(c)]; }

std::string pixel_map_picture(const Pixel_mapping& m, int width, int height) {
    Pixel_mapping shown = m;
    int w = width, h = height;
    std::string what;
    const bool panels = m.panel_width > 0;
    if (w > 32 || h > 16) {
        // An example of the same order: at most 3 x 2 panels of at most
        // 4 x 3 LEDs, or 8 x 4 LEDs without panels.
        if (panels) {
            shown.panel_width = std::min(m.panel_width, 4);
            shown.panel_height = std::min(m.panel_height, 3);
            w = shown.panel_width * std::min(std::max(width / m.panel_width, 1), 3);
            h = shown.panel_height * std::min(std::max(height / m.panel_height, 1), 2);
        } else {
            w = 8;
            h = 4;
        }
        what = "An example of this order on " + std::to_string(w) + " x " + std::to_string(h) + " LEDs" +
               (panels ? " (panels of " + std::to_string(shown.panel_width) + " x " +
                             std::to_string(shown.panel_height) + ")"
                       : std::string()) +
               "; pixel numbers from 0:\n";
    } else {
        what = "Pixel numbers (from 0) on the " + std::to_string(w) + " x " + std::to_string(h) + " screen:\n";
    }
    Pixel_map map;
    std::string err;
    if (!map.make(w, h, Pixel_area{0, 0, w, h}, shown, &err)) return err + "\n";
    std::vector<long> number(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (size_t i = 0; i < map.pixel_count(); ++i) number[map.source(i)] = static_cast<long>(i);
    const int digits = static_cast<int>(std::to_string(static_cast<long>(w) * h - 1).size());
    std::string out = what;
    char cell[32];
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (panels && x > 0 && x % shown.panel_width == 0) out += " |";
            std::snprintf(cell, sizeof cell, " %*ld", digits, number[static_cast<size_t>(y) * w + x]);
            out += cell;
        }
        out += '\n';
        if (panels && y + 1 < h && (y + 1) % shown.panel_height == 0) {
            out += std::string(static_cast<size_t>(w * (digits + 1) + 2 * (w / shown.panel_width - 1)), '-');
            out += '\n';
        }
    }
    return out;
}
