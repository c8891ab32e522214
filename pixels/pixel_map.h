// How the card's screen becomes a row of RGB pixels for a pixel controller:
// the order the LEDs are chained in (start corner, rows or columns first,
// zig-zag, panels) and the colour each LED code is sent as. The order is
// worked out once into a table; each frame is then one pass over it, into
// a buffer allocated once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class Pixel_corner { top_left, top_right, bottom_left, bottom_right };

// An order of w x h places: where the chain starts, whether it runs along
// rows or down columns first, and whether every other line runs back.
struct Pixel_order {
    Pixel_corner corner = Pixel_corner::top_left;
    bool columns = false;      // false: along rows first
    bool serpentine = false;   // every second line reversed (zig-zag)
};

// The whole mapping of an output. Without panels (panel_width 0) the LEDs
// are chained in `pixels` order over the whole area. With panels, the area
// is cut into panels of panel_width x panel_height LEDs (the area must be
// a whole number of them): the chain runs through the panels in `panels`
// order, and through the LEDs of each panel in `pixels` order.
struct Pixel_mapping {
    Pixel_order pixels;
    int panel_width = 0, panel_height = 0;
    Pixel_order panels;
};

// The part of the screen an output carries (the whole screen by default).
struct Pixel_area {
    int x = 0, y = 0, width = 0, height = 0;
};

// Place (x, y) of the k-th step of order on a w x h grid (0 <= k < w * h).
void pixel_order_place(const Pixel_order& order, int w, int h, long k, int* x, int* y);

// Checks a mapping against its area: panels must tile it exactly.
// False with a message ("pixels: ...").
bool pixel_mapping_fits(const Pixel_mapping& m, int width, int height, std::string* err);

// The sent colours: RGB of the card's red, green and yellow at full
// brightness.
struct Pixel_colours {
    uint8_t rgb[3][3] = {{255, 0, 0}, {0, 255, 0}, {255, 255, 0}};
};

// The RGB of every LED code at the card's brightness ("set ld" N: 1
// brightest .. 9; anything else, such as never set, is full): each
// component scaled by (10 - N) / 9, rounded to nearest. Codes other than
// 0, 1, 2 (unlit) are (0, 0, 0).
struct Pixel_palette {
    uint8_t rgb[256][3];
};
void pixel_palette_make(const Pixel_colours& c, int brightness, Pixel_palette* out);

// An output's map: for each pixel of the chain, the LED of the screen it
// shows. Made once (make) for a screen width, area and mapping.
class Pixel_map {
public:
    // False with a message when the area leaves the screen or the
    // mapping does not fit it.
    bool make(int screen_width, int screen_height, const Pixel_area& area, const Pixel_mapping& m,
              std::string* err);
    size_t pixel_count() const { return source_.size(); }
    // Index into the screen's LEDs (row by row) of chain pixel i.
    uint32_t source(size_t i) const { return source_[i]; }

    // The frame: pixel_count() * 3 bytes R, G, B into rgb, from the
    // screen's LED codes (screen_width * screen_height, row by row).
    // Nothing is allocated.
    void fill(const uint8_t* leds, const Pixel_palette& palette, uint8_t* rgb) const;

private:
    std::vector<uint32_t> source_;
};

// Names as the options take them: "top-left" .. "bottom-right"; "rows",
// "columns". False for an unknown name.
bool pixel_corner_from_name(const std::string& name, Pixel_corner* out);
const char* pixel_corner_name(Pixel_corner c);

// A small picture of the chain: each place of a w x h area (at most 32 x
// 16 shown; a larger area is drawn as an example of the same mapping
// with fewer panels or LEDs) with its pixel number, and a line that says
// what is drawn.
std::string pixel_map_picture(const Pixel_mapping& m, int width, int height);
