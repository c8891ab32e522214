#include "card/card_window.h"

#include <algorithm>
#include <cmath>

double card_pixels_per_led(int leds_w, int leds_h, int win_w, int win_h) {
    leds_w = std::max(leds_w, 1), leds_h = std::max(leds_h, 1);
    return std::min(static_cast<double>(std::max(win_w, 1)) / leds_w, static_cast<double>(std::max(win_h, 1)) / leds_h);
}

Card_window card_window_for(int leds_w, int leds_h, int cell, int screen_w, int screen_h) {
    leds_w = std::max(leds_w, 1), leds_h = std::max(leds_h, 1);
    if (screen_w <= 0) screen_w = 4096;
    if (screen_h <= 0) screen_h = 4096;
    Card_window w;
    w.pixels_per_led = std::min(static_cast<double>(std::max(cell, 1)), card_pixels_per_led(leds_w, leds_h, screen_w, screen_h));
    w.width = std::clamp(static_cast<int>(std::lround(leds_w * w.pixels_per_led)), 1, screen_w);
    w.height = std::clamp(static_cast<int>(std::lround(leds_h * w.pixels_per_led)), 1, screen_h);
    return w;
}
