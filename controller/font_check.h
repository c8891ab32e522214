// The check before a text goes to the card: every character of every text
// on a board in use must have a glyph in the font files of its height, or
// the card shows a gap there. The export and the live send still go ahead;
// the operator is told which text and which characters.
#pragma once

#include <string>

// An empty string when every text can be shown whole; otherwise one line
// (UTF-8) naming the first text that cannot and its characters (at most a
// handful), and how many other texts have gaps.
std::string check_scene_fonts();
