// Which records of the pools hold nothing the operator placed, and may be
// taken by whatever makes a new element: Ctrl+D and Ctrl+E, the text and
// rectangle commands of a script, a replay of the card's stored script.
// One rule for every path, so that no new element ever lands on one that
// is in use.
//   Texts: records 5 and up, when switched off (deleted, or never filled).
//     The left panel's records 0..4 are never taken.
//   Shapes and digits (groups 0..19): a record switched off, or one still
//     at its palette place with its look, as long as another group's copy
//     of that palette entry stays there (the palette stays whole).
// A path takes the lowest free record (texts from 5, shapes from index 1 of
// its group), so a fresh scene fills as it always did.
#pragma once

#include <cstdint>

#include "scene/scene.h"

// The palette's place of entry index (0..99) of every group, window pixels.
void palette_place(int index, uint32_t* x, uint32_t* y);

bool text_record_free(const Scene& scene, int index);
bool shape_record_free(const Scene& scene, int group, int index);

// The lowest free text record, or -1 when every one is in use.
int free_text_record(const Scene& scene);
// The lowest free record of group, from index 1, or -1.
int free_shape_record(const Scene& scene, int group);

// The panel's text k (3 or 4) shows its file, my_txtK.txt, only while it is
// the panel's own: record k, its source k, its text the placeholder the
// panel starts with. Any other text is inline, whatever its record. Brings
// text_source into line with that (a text typed into, or one a script made
// in records 3 and 4 by older rules, becomes inline).
void settle_text_sources(Scene& scene);
