// The frame: draw_display draws the whole scene it is given onto the
// screen (main's sink and outline font); reshape_view sets the sink's
// pixel projection. Both are GLUT callbacks.
#pragma once

#include <cstddef>

#include "render/outline_font.h"
#include "scene/scene.h"
#include "ui/ui_state.h"

// Draws one complete frame; ui's input gives the entries' lit states and
// whether the help is shown, its status line the message shown.
void draw_display(const Screen& screen, const Scene& scene, const Ui_state& ui);

// Projection for a window of width x height pixels (height 0 counts as 1):
// one GL unit per pixel, origin top-left, y down.
void reshape_view(Dot_sink& sink, Scene& scene, int width, int height);

// Text of the coordinate readout for the mouse at (mx, my) window pixels and
// the given pitch: "[col , row]", counted from 12 dots (at pitch 2) right of
// and below the screen origin. Returns false when the mouse is left of
// x 275 or above y 165: then nothing is shown.
bool format_readout(int mx, int my, int pitch, char* buf, size_t cap);

// Redraw pacing. Every change to what the frame shows (input, reshape)
// calls note_change; the idle pass redraws only while a change is pending,
// so an idle editor does not spin.
void note_change();
bool frame_pending();

// Whether frames keep their lower part (the sign's LEDs and the elements
// but the selected ones) in the sink's layer and redraw only what changed
// there: never, when drawing it whole takes longer than showing the layer
// (the editor's choice), or always (for tests and benchmarks). The
// pictures are the same either way.
enum class Layer_use { never, when_it_pays, always };
void set_layer_use(Layer_use use);

// The first frame is pending again.
void reset_frame_state();
