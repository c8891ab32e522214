// The frame signal of test runs. When VANTIRO_FRAME_FILE in the environment
// names a file, the editor says in it how far it has got, so that a GUI
// test waits for exactly the picture it checks instead of sleeping. One
// line:
//   frame F done M sending S reading R
// F: frames presented since start; M: markers handled whose frame is on the
// screen; S: 1 while the live sender is still delivering a send, else 0;
// R: 1 while the card's scene is being read at start-up, else 0.
//
// The marker is the F12 key, and only in such runs. X delivers a window's
// input in order, so a marker sent after other input is handled after all
// of it, and the first frame presented after the marker shows everything
// sent before it. The file is replaced whole (a new file renamed over it)
// after the first frame and after each frame that shows a new marker, and
// only once the window system has carried out every drawing, move and
// resize asked for until then.
#pragma once

#include <string>

#include "app/frame.h"
#include "app/outputs.h"

// The signal's file and counts. main owns one (tests their own); a new one
// is not started: the first use of the calls below starts it.
struct Frame_signal {
    bool started = false;
    std::string path;          // empty: the signal is off
    long frames = 0;           // frames presented
    long marks = 0;            // markers handled
    long marks_written = -1;   // markers the file last said were done (-1: no file yet)
    bool failed = false;       // a write failed (said once)
};

// Reads VANTIRO_FRAME_FILE afresh and counts from zero. The editor never
// calls it (the first use of the two calls below does); tests use it to
// switch the signal on or off.
void frame_signal_start(Frame_signal& signal);

// True when key (a GLUT special-key code) is the marker and the signal is
// on: the marker is counted, a frame is asked for (in cache), and the key
// goes no further. Otherwise false, and the key is the editor's as usual.
bool frame_signal_marker(Frame_signal& signal, Frame_cache& cache, int key);

// Called after each frame's buffer swap. wait_window_system (may be null)
// returns once the window system has carried out every request sent so
// far; it is called only while the signal is on. link tells whether its
// sender is busy and whether the card's scene is still being read.
void frame_signal_presented(Frame_signal& signal, Card_link& link, void (*wait_window_system)());
