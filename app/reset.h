// One reset for the whole process: every cache, flag, hook and the
// configuration back to its value at start-up, before main. The scene, the
// input's state (with the status line), the fonts, the sink and the live
// sender are not among them: they are values their owner makes or resets.
// Tests start each case from all of them.
#pragma once

void reset_to_startup_state();
