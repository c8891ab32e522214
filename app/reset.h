// One reset for the whole process: every cache, flag, hook, the status
// line and the configuration back to its value at start-up, before main.
// The scene and the input's state are not among them: they are values
// their owner resets (reset_scene, reset_ui_state). Tests start each case
// from all three.
#pragma once

void reset_to_startup_state();
