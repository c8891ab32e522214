#include "render/led_framebuffer.h"

#include <algorithm>

Led_framebuffer::Led_framebuffer(int width, int height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)),
      leds_(static_cast<size_t>(width_) * static_cast<size_t>(height_), dark) {
    pitch = 1;
    clip_left = 0, clip_top = 0;
    clip_right = int64_t{width_} - 1, clip_bottom = int64_t{height_} - 1;
}

void Led_framebuffer::light(uint8_t colour, int32_t x, int32_t y) {
    if (colour <= 2) current_ = colour;
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    leds_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)] = current_;
}

void Led_framebuffer::resize(int width, int height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    leds_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), dark);
    clip_right = int64_t{width_} - 1, clip_bottom = int64_t{height_} - 1;
    current_ = 0;
}

void Led_framebuffer::clear() {
    std::fill(leds_.begin(), leds_.end(), dark);
    current_ = 0;
}

uint8_t Led_framebuffer::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return dark;
    return leds_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
}

long Led_framebuffer::lit_count() const {
    return static_cast<long>(std::count_if(leds_.begin(), leds_.end(), [](uint8_t v) { return v != dark; }));
}
