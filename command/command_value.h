// A led or file line as a value: the verb and its numbers and text. Lines
// are parsed into a value and then applied (the editor applies texts and
// rectangles, a model of the card every verb); the writers format lines
// from the same value, so a written line parses back to what was written.
//
//   verb      led line                           file line (text: payload)
//   clearall  led clearall
//   text      led t|12t|16t|24t|32t c x y TEXT   file t|12t|16t|24t|32t c x y
//             (t is 16 dots high)                file Zimu _ cw x y _ _ _ h
//   txt       led txt source c x y width height 20   (the writer's 20 is
//             the seventh number)
//   point     led p c x y
//   line      led l c x1 y1 x2 y2
//   circle    led c c x y radius
//   rect      led r c x1 y1 x2 y2
//   s         led s
// Numbers are kept in the order of the line (for Zimu: colour (bits 4-7 of
// cw), x, y). Every other verb is `unknown` and has no effect.
#pragma once

#include <cstddef>
#include <cstdint>

enum class Command_word : uint8_t { led, file };

enum class Verb : uint8_t { unknown, clearall, text, txt, point, line, circle, rect, s, zimu };

struct Command_value {
    Command_word command = Command_word::led;
    Verb verb = Verb::unknown;
    uint8_t font_height = 0;       // text verbs: dots high
    int count = 0;                 // numbers in use
    uint32_t number[8] = {};
    const char* text = "";         // text verbs: the token or the payload (not owned)
    size_t text_length = 0;
};

// Numbers each verb carries.
int verb_numbers(Command_word command, Verb verb);

// Value of a line's arguments (argv[0] the verb), as the interpreter hands
// them to a handler; payload is the file line's text.
Command_value parse_command_arguments(Command_word command, int argc, char** argv,
                                      const char* payload);

// Value of a whole line; the text after its first line feed is the payload.
// line is modified (tokens are cut out of it) and the value points into it.
// False for a line that is not a led or file line, or breaks the limits.
bool parse_command_line(char* line, Command_value* out);

// How a writer ends its lines.
enum class Line_style : uint8_t {
    live,     // the live send: "led %dt ... \n ", "led c ... \n "
    script,   // the drive's cmd.txt: "led t ...\n " (16 dots; 12t, 24t, 32t
              // for those heights), "led c ...\n ", "led txt ... 20\n "
};

// Formats value as a line into buf (cap bytes, NUL-terminated). A file
// text line is the line, a line feed and its text; its height must be one
// of the four a text verb names. Returns the length, or
// -1 when it does not fit, when the verb has no line form, or when a led
// text holds a byte the line could not carry (a blank or a control byte:
// it would not parse back as one token).
int format_command(const Command_value& value, Line_style style, char* buf, size_t cap);

// A digit element's module line as a value:
//   insmod NUMBER CLASS led key COLOUR X Y TYPE DIGITS A B 1
// Class 800 is the element itself, drawn as its digit picture; class 20
// an auxiliary module the card keeps and does not draw.
struct Module_value {
    int32_t number = 0;
    int32_t module_class = 800;
    uint8_t colour = 0;
    int32_t x = 0, y = 0;           // LEDs of the whole screen
    int32_t type = 0;
    int32_t digits = 0, param_a = 0, param_b = 0;
};

// Formats a module line ("insmod ... 1\n ") into buf; its length, or -1
// when it does not fit.
int format_module(const Module_value& m, char* buf, size_t cap);

// The value of a module line's arguments (argv[0] the number, argv[1]
// the class, then "led", "key" and the rest); false when they are not a
// module line's. Numbers may carry a minus sign.
bool parse_module_arguments(int argc, char** argv, Module_value* out);

// Font height of a text verb ("t" and "16t" 16, "12t" 12, "24t" 24,
// "32t" 32), or 0 for any other word. Case matters.
int text_verb_height(const char* verb);
