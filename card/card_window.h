// The size of vantiro-card's window for its screen of LEDs.
#pragma once

struct Card_window {
    int width = 1, height = 1;   // window pixels
    double pixels_per_led = 1;   // below 1 when the screen has more LEDs than the window pixels
};

// The window for a screen of leds_w x leds_h LEDs at cell pixels an LED,
// made smaller (the same shape) to fit an X screen of screen_w x
// screen_h pixels; a screen size of 0 or less (not known) counts as 4096.
// Never smaller than 1 x 1.
Card_window card_window_for(int leds_w, int leds_h, int cell, int screen_w, int screen_h);

// The window pixels an LED takes in a window of win_w x win_h pixels: the
// screen of LEDs kept whole and in shape.
double card_pixels_per_led(int leds_w, int leds_h, int win_w, int win_h);
