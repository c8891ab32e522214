// One reset for the whole process: every pool, counter, setting, cache,
// flag and hook back to its value at start-up, before main. Tests start
// each case from it; a second user of the core (a card model, an exporter)
// can rely on it too.
#pragma once

void reset_to_startup_state();
