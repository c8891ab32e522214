// The scene as lines of the card's command language: every text, shape and
// digit element that lies on the sign, in the LED coordinates of the whole
// screen. The lines are values first (Scene_line): the editor paints its
// picture of the sign from them, the card model paints the same values
// after parsing them back, the drive export formats them into cmd.txt and
// the live send formats them for the network. So what the editor shows on
// its boards is what the card lights, by construction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "command/command_value.h"
#include "scene/scene.h"

// What the live send needs to know of a line besides its bytes: the tag it
// is sent with and the wait after it, in milliseconds.
struct Line_info {
    int32_t tag = 0;
    int32_t wait_ms = 0;
};

// One line of the scene as a value: a command line, or a digit element's
// module line.
struct Scene_line {
    bool is_module = false;
    Command_value value;     // when !is_module; its text points into the scene
    Module_value module;     // when is_module
    Line_info info;
};

// Where the values go.
class Line_sink {
public:
    virtual ~Line_sink() = default;
    virtual void put(const Scene_line& line) = 0;
};

// The first lines of my_txt3.txt and my_txt4.txt, the files that the left
// panel's texts 3 and 4 stand for: what the card shows for them (bytes up
// to the first line feed or NUL, trailing CRs dropped, at most 511 bytes).
// Read when asked (start-up, every send and export), never while drawing.
struct Text_files {
    std::string folder;            // where the files are, ending with '/'
    bool present[2] = {};          // my_txt3.txt, my_txt4.txt read
    char line[2][512] = {};
    size_t length[2] = {};

    // Reads both files from folder; a missing or unreadable file is absent.
    void read();
    // The first line of text source 3 or 4, or null when its file is absent.
    const char* first_line(int source, size_t* n) const;
};

// Where the formatted lines go. Each call is one line as the card's
// language has it, line ends included ("\n " for most; a module line of
// the script is followed by a call with "\r\n").
class Script_out {
public:
    virtual ~Script_out() = default;
    virtual void line(const char* bytes, size_t n, const Line_info& info) = 0;
};

// A script as the bytes of a file written in text mode: every LF becomes
// CR LF, all other bytes stay as they are.
class Text_mode_script final : public Script_out {
public:
    void line(const char* data, size_t n, const Line_info&) override { write(data, n); }
    void write(const char* data, size_t n);
    std::string bytes;
};

// The scene's lines, in the order the editor's frame draws it (shape and
// digit records of groups 0..19, then texts 0..39), so that where elements
// overlap the card ends in the colour the editor shows. Only enabled
// records that lie on the sign (sign_led) are written, each once, at the
// LED they lie in:
//   kind 8 digit element: module lines (class 800; types 11 and 13 add two
//     auxiliary modules of class 20); left out of the live style, since
//     modules go to the card by the stick only;
//   kind 0 block: "led p" for each of its block_side(height)^2 LEDs;
//     kind 3 (a pair of blocks): the same twice, the second block directly
//     below the first;
//   kinds 1 and 4: "led l" from the anchor, width or height LEDs long;
//   kind 2: "led c" of radius height; kind 5: "led r" of width x height;
//   other kinds draw nothing and give nothing;
//   texts: "led t|12t|24t|32t" (live: "led Nt") for every run of the text
//     a line can carry (see for_each_text_run), at card_text_height of the
//     record's height, where the pen draws the run's first byte. Texts of
//     sources 3 and 4 stand for their file: the script style writes
//     "led txt N colour X Y width height 20", the live style the runs of
//     the file's first line; nothing when the file is absent.
// Every colour is card_colour of the record's.
void write_scene_lines(const Scene& scene, Line_sink& out, const Text_files& texts, Line_style style);

// The same lines formatted, in the given style. Returns which text files
// the lines name ("led txt"): bit 0 my_txt3.txt, bit 1 my_txt4.txt, which
// the export copies.
int write_scene_script(const Scene& scene, Script_out& out, const Text_files& texts, Line_style style = Line_style::script);

// Whether a text record of source 3 or 4 lies on the sign without its
// file: the card shows nothing there, and the editor marks it.
bool text_file_missing(const Text_files& texts, int text_source);

// Digit elements (kind 8) on the sign: they reach the card by the stick
// only, never live.
int digit_modules_on_sign(const Scene& scene);
