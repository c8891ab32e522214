// Mouse input: the GLUT motion callbacks.
//
// Implemented: mouse_x / mouse_y tracking for the coordinate readout.
// Not yet: presses and releases, element drags, the rubber band, hover
//   tracking, window moving and resizing, border cursors.
#pragma once

// Mouse moved with a button held; (x, y) window pixels.
void on_motion(int x, int y);

// Mouse moved with no button held; (x, y) window pixels.
void on_passive_motion(int x, int y);
