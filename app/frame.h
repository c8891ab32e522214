// The frame: draw_display draws the whole scene it is given onto the
// screen (main's sink and outline font); reshape_view sets the sink's
// pixel projection. Both are GLUT callbacks.
#pragma once

#include <cstddef>
#include <memory>

#include "controller/script_writer.h"
#include "render/led_framebuffer.h"
#include "render/outline_font.h"
#include "scene/scene.h"
#include "ui/ui_state.h"

// Whether frames keep their lower part (the sign's LEDs and the elements
// but the selected ones) in the sink's layer and redraw only what changed
// there: never, when drawing it whole takes longer than showing the layer
// (the editor's choice), or always (for tests and benchmarks). The
// pictures are the same either way.
enum class Layer_use { never, when_it_pays, always };

// What one frame leaves for the next: whether a frame is due, the sign's
// LEDs as last painted (sized once per sign size), the lower part the
// sink's layer holds and how long it took to draw. main owns one (each
// test and benchmark its own); a new one has the first frame pending.
class Lower_part;
struct Frame_cache {
    Frame_cache();   // allocates the lower part's copy, once
    Frame_cache(const Frame_cache&) = delete;
    Frame_cache& operator=(const Frame_cache&) = delete;
    ~Frame_cache();

    bool pending = true;   // the first pass always draws
    Led_framebuffer sign_leds{0, 0};
    std::unique_ptr<Lower_part> lower_part;
    // How long the lower part took to draw, the last time it was drawn
    // whole (milliseconds, on this thread).
    double lower_part_ms = 0;
    Layer_use layer_use = Layer_use::when_it_pays;
};

// Draws one complete frame; ui's input gives the entries' lit states and
// whether the help is shown, its status line the message shown; texts are
// the text files the sign shows.
void draw_display(Frame_cache& cache, const Screen& screen, const Scene& scene, const Ui_state& ui,
                  const Text_files& texts);

// Projection for a window of width x height pixels (height 0 counts as 1):
// one GL unit per pixel, origin top-left, y down, set on sink. A frame is due.
void reshape_view(Frame_cache& cache, Dot_sink& sink, Scene& scene, int width, int height);

// Text of the coordinate readout for the mouse at (mx, my) window pixels and
// the given pitch: "[col , row]", counted from 12 dots (at pitch 2) right of
// and below the screen origin. Returns false when the mouse is left of
// x 275 or above y 165: then nothing is shown.
bool format_readout(int mx, int my, int pitch, char* buf, size_t cap);

// Redraw pacing. Every change to what the frame shows (input, reshape)
// calls note_change; the idle pass redraws only while a change is pending,
// so an idle editor does not spin.
void note_change(Frame_cache& cache);
bool frame_pending(const Frame_cache& cache);

void set_layer_use(Frame_cache& cache, Layer_use use);
