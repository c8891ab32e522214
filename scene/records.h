// Element records of the scene: plain data with public fields and defaults
// set by their constructors. They own nothing and have no virtual
// operation, so a Scene is trivially copyable: undo and the frame copy and
// compare it as bytes. Positions are window pixels (origin top-left, y down); sizes are
// LED dots and become pixels when multiplied by dot_pitch.
#pragma once

#include <cstdint>

// The zoom at start-up, in window pixels per LED dot: the pitch a new
// record's position is taken to be set at.
constexpr uint8_t start_dot_pitch = 2;

// One text element, drawn with the bitmap fonts.
class string_draw {
public:
    string_draw();

    int32_t slot;           // a replayed text: its line's entry type; Ctrl+E writes
                            // the record's index here. Stored in scene.conf and
                            // read back, used by nothing else
    uint32_t x, y;          // top-left corner, window pixels; default is off screen
    int32_t pitch;          // dot_pitch at which x, y were last set
    uint8_t font_size;      // bitmap font height in dots: 12, 14, 16, 24 or 32
    uint8_t text_source;    // left-panel index 0..4; 3 and 4 export as a text-file reference
    uint8_t enabled;        // drawn only when non-zero
    int32_t width;          // frame width in dots
    int32_t height;         // frame height in dots
    int32_t colour;         // LED colour code (low byte is used)
    float frame_r, frame_g, frame_b;  // selection frame colour
    int32_t length;         // bytes of text (GBK: 2 per Chinese character)
    char text[512];         // GBK, NUL-terminated
    uint8_t bold_flag;      // set by Ctrl+B; stored in scene.conf and read back,
                            // drawn by nothing (texts are never bold)
};

// True for a text record as its constructor left it: never filled by a
// text command, Ctrl+E or a scene file's own text (a record that is
// enabled by default, at a place that a grid of many boards reaches):
// the placeholder's bytes, size, colour, slot and source, still at the
// constructor's place (1000, 1000). A text the operator made and left
// reading as the placeholder is somewhere the operator put it.
bool never_filled(const string_draw& s);

// One measured rectangle of the overlay.
class graph_draw {
public:
    graph_draw();

    int32_t x, y;           // first corner, window pixels
    int32_t width, height;  // extent in dots; 0xFF000 or more runs left/up
    int32_t in_use;         // 1 once the first corner is placed
    float r, g, b;          // outline colour
};

// One shape or digit element. kind says what it draws (see kind codes).
class Digit_unit {
public:
    Digit_unit();

    uint8_t enabled;        // drawn only when non-zero
    int32_t id;             // number given by the creator, read by the live send
    uint8_t pitch;          // dot_pitch at which x, y were last set
    uint32_t x, y;          // anchor, window pixels (left end, top-left or centre)
    int32_t width;          // horizontal extent in dots
    int32_t height;         // vertical extent in dots; radius of a circle, side of a block
    int32_t spare_word;     // 16; a column of scene.conf's digit lines, read by nothing else
    int32_t param_a;        // digit parameter (digit height in dots)
    int32_t param_b;        // digit parameter (stroke weight)
    int32_t digits;         // number of digits of a digit element, 1..4
    uint8_t colour;         // LED colour code
    uint8_t spare_byte;     // 1; a column of scene.conf's digit lines, read by nothing else
    int32_t type_code;      // module type number; 512 centres the hit box
    uint8_t kind;           // see the kind codes below
};

// Kind codes of Digit_unit::kind. A record of any other code (a scene file
// may hold one) is kept as it is and draws nothing.
enum : uint8_t {
    kind_block = 0,         // square block of height x height dots
    kind_hline = 1,         // horizontal line of width dots
    kind_circle = 2,        // circle of radius height dots
    kind_block_pair = 3,    // two blocks, the second 2 x height pixels lower
    kind_vline = 4,         // vertical line of height dots
    kind_rect = 5,          // rectangle of width x height dots
    kind_digit = 8,         // digit element
};

// One unit board: a rectangle of LED dots with its own pixel origin.
// Dot (dx, dy) of the board lies at (x + p*dx, y + p*dy) for pitch p.
class led_unit {
public:
    led_unit();

    int32_t x;              // window x of the top-left corner; unsigned when drawn
    int32_t y;              // window y of the top-left corner; unsigned when drawn
    int32_t width;          // dots
    int32_t height;         // dots
    int32_t label_b;        // second number of the board label
    int32_t label_a;        // first number of the board label
    float r, g, b;          // outline colour
};

// One on-screen menu entry. Its hit box is width*dot_pitch pixels wide and
// 30 pixels high, centred on y.
class menu_unit {
public:
    menu_unit();

    int32_t x;              // left edge, window pixels
    int32_t y;              // vertical centre line, window pixels
    int32_t width;          // dots
    int32_t height;         // second size value; not used by the hit test
    int32_t id;             // index within its group
    char label[100];        // GBK, NUL-terminated
    int32_t value;          // number carried by the entry
    float colour[3];        // r, g, b
};
