// One reset for the whole process: every cache, flag, hook, input state,
// the status line and the configuration back to its value at start-up,
// before main. The scene is not among them: it is a value its owner resets
// (reset_scene). Tests start each case from both.
#pragma once

void reset_to_startup_state();
