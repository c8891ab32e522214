// The check before a text goes to the card: every character of every text
// on a board in use must have a glyph in the font files of its height, or
// the card shows a gap there. The export and the live send still go ahead;
// the operator is told which text and which characters.
#pragma once

#include <string>

#include "controller/script_writer.h"
#include "render/bitmap_font.h"

// An empty string when every text can be shown whole; otherwise one line
// (UTF-8) naming the first text that cannot and its characters (at most a
// handful), and how many other texts have gaps. Texts 3 and 4 of the left
// panel are checked as what they stand for: a missing my_txt3.txt or
// my_txt4.txt is named first (the editor marks such a text on the board).
// The glyphs are looked up in fonts.
std::string check_scene_for_card(Bitmap_fonts& fonts, const Scene& scene, const Text_files& texts);
