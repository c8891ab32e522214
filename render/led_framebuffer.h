// A plain framebuffer of LEDs, one unit per LED, each dark or lit in one
// of the sign's colours: what a card shows on its screen. The primitives
// draw into it as a target of pitch 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/draw_target.h"

class Led_framebuffer final : public Draw_target {
public:
    static constexpr uint8_t dark = 0xFF;

    // A screen of width x height LEDs, all dark; allocated once here.
    Led_framebuffer(int width, int height);

    // Codes 0, 1 and 2 light the LED red, green or yellow and become the
    // colour in force; any other code lights it in the colour in force, as
    // the editor's GL state does. LEDs outside the screen are dropped.
    void light(uint8_t colour, int32_t x, int32_t y) override;

    // Every LED dark, the colour in force red.
    void clear();

    // A screen of width x height LEDs, all dark; allocates only when the
    // number of LEDs grows.
    void resize(int width, int height);

    // The LEDs of row y (width() codes), y within the screen.
    const uint8_t* row(int y) const { return leds_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_); }
    uint8_t* row(int y) { return leds_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_); }

    int width() const { return width_; }
    int height() const { return height_; }
    // Colour code of the LED at (x, y), or dark (also outside the screen).
    uint8_t at(int x, int y) const;
    long lit_count() const;

private:
    int width_, height_;
    uint8_t current_ = 0;
    std::vector<uint8_t> leds_;
};
