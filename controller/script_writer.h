// The scene as lines of the card's command language: every text, shape and
// digit element that lies on a board in use, in the LED coordinates of the
// whole screen, board by board. The drive export writes them into cmd.txt;
// the card model runs them; both show what the editor shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "command/command_value.h"

// What the live send needs to know of a line besides its bytes: the tag it
// is sent with and the wait after it, in milliseconds.
struct Line_info {
    int32_t tag = 0;
    int32_t wait_ms = 0;
};

// Where the lines go. Each call is one line as the card's language has it,
// line ends included ("\n " for most; a module line of the script is
// followed by a call with "\r\n").
class Script_out {
public:
    virtual ~Script_out() = default;
    virtual void line(const char* bytes, size_t n, const Line_info& info) = 0;
};

// A script as the bytes of a file written in text mode: every LF becomes
// CR LF, all other bytes stay as they are.
class Text_mode_script final : public Script_out {
public:
    void line(const char* bytes, size_t n, const Line_info&) override { write(bytes, n); }
    void write(const char* bytes, size_t n);
    std::string bytes;
};

// What the writer needs besides the pools.
struct Script_files {
    // Folder of my_txt3.txt and my_txt4.txt, the texts that the left panel's
    // texts 3 and 4 stand for (the editor's own folder, ending with '/').
    std::string text_source_folder;
    // The drive's TXT folder, where those files are copied; empty: no copy.
    std::string txt_folder;
    // Filled by the writer: one "my_txtN.txt: reason" per file that could not
    // be copied, separated by "; ".
    std::string copy_failures;
};

// Writes the scene, in the order the editor's frame draws it (so that
// overlapping elements end in the colour the editor shows), each element
// for every board in use it lies on:
//   the shape and digit records of groups 0..19, by kind: 8 digit element
//     (module lines), 0 block ("led p" per LED), 1 and 4 lines ("led l"),
//     2 circle ("led c"), 5 rectangle ("led r"); other kinds give nothing;
//   then texts 0..39: "led t|12t|24t|32t colour X Y RUN\n " for every run
//     of the text a line can carry (see for_each_text_run), at the LED
//     where the editor's pen draws the run's first byte; the left panel's
//     texts of sources 3 and 4 become "led txt" lines and their file is
//     copied.
// An element lies on board U (row r, column c) when U.x <= x < U.x + W * p
// (and likewise for y); its LED is ((x - U.x) / p + c * W, (y - U.y) / p +
// r * H). Records first take the place the next frame would settle them
// in. Disabled records are not written: the editor does not show them.
// The script style (the drive's cmd.txt) writes texts of sources 3 and 4 as
// "led txt" lines; the live style ("led %dt ... \n ", the live circle, a
// module line without the "\r\n" after it) sends every text as the editor
// shows it, tagged and paced as the card's live lines are.
void write_scene_script(Script_out& out, Script_files& files, Line_style style = Line_style::script);

// One digit element as module lines: "insmod N CLASS led key COLOUR X Y
// TYPE DIGITS A B 1\n " and "\r\n", with X = ox / p and Y = oy / p
// (signed). Returns 0.
int write_module_line(Script_out& out, int32_t module_class, int32_t number, int32_t type,
                      uint8_t colour, int32_t ox, int32_t oy, int32_t digits, int32_t param_a,
                      int32_t param_b, Line_style style = Line_style::script, Line_info info = {});
