// One reset for the whole process: every cache, flag, hook and the status
// line of the layers below app back to its value at start-up, before main.
// The values main owns (the scene, the input's state, the configuration,
// the paths, the card link, the frame's cache) are not among them: their
// owner makes them afresh. Tests start each case from all of them.
#pragma once

void reset_to_startup_state();
