// A model of the controller card: a screen of LEDs and the command lines
// the card runs on it, drawn with the editor's own primitives at one LED a
// step. Every output of the editor (the drive's cmd.txt, the live lines)
// can be run here and compared with the editor's picture; the card
// simulator puts it behind the network. No window, no GL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "render/bitmap_font.h"
#include "render/led_framebuffer.h"

// What the card records without lighting anything.
struct Card_settings {
    int32_t time[6] = {};        // set time: year month day hour minute second
    bool time_set = false;
    int32_t brightness = -1;     // set ld (1 brightest .. 9); -1 never set
    int32_t pl = -1;             // set pl
    int32_t soft_width = -1;     // set soft W H: the screen the card drives
    int32_t soft_height = -1;
    char chrct[32] = {};         // set chrct: the panel type's name
    int32_t saves = 0;           // file save lines
};

struct Card_counts {
    long run = 0;        // lines the card knows (drawn or recorded)
    long ignored = 0;    // lines it does not know: unknown words and verbs
};

// Calls line(context, bytes, n) for each line of a script as the card reads
// cmd.txt: lines end at LF (CR LF and CR CR LF alike; the CRs stay with the
// line), and a NUL ends the script.
void for_each_script_line(const uint8_t* bytes, size_t length,
                          void (*line)(void* context, const char* bytes, size_t n), void* context);

class Card_model {
public:
    // Longest line the card reads; the rest of a longer line is dropped.
    static constexpr size_t max_line = 4096;

    // A card of width x height LEDs whose texts are drawn from fonts (its
    // owner's; the model keeps a reference, and copies share it).
    Card_model(Bitmap_fonts& fonts, int width, int height);

    // Where "led txt" finds my_txtN.txt (empty: nowhere).
    void set_txt_folder(const std::string& folder) { txt_folder_ = folder; }

    // Runs one line (without its line end; leading blanks and trailing
    // CRs are skipped). Blank lines are neither run nor ignored. Returns
    // true when the line was one the card knows.
    bool run_line(const char* line, size_t length);

    // Runs a script as the card reads cmd.txt: lines end at LF (CR LF and
    // CR CR LF alike), and a NUL ends the script.
    void run_script(const uint8_t* bytes, size_t length);

    // Runs the script stored in a flash image (see command/flash_image.h) as
    // the card does at power-on: each enabled entry's line; a stored text
    // ("file t|12t|16t|24t|32t C X Y" with the text as payload) lights the
    // runs of its text a text line could carry, as the live lines it was
    // saved from did. Returns the entries run.
    int run_stored(const uint8_t* image, size_t size);

    // The screen, settings and counts back to the power-on state.
    void reset();

    Led_framebuffer screen;
    Card_settings settings;
    Card_counts counts;

private:
    bool run_led(int argc, char** argv);
    bool run_set(int argc, char** argv);
    bool run_module(int argc, char** argv);

    Bitmap_fonts* fonts_;
    std::string txt_folder_;
    char line_[max_line + 1];
};
