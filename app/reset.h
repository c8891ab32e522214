// One reset for the whole process: what platform keeps for the process
// (the diagnostics stream, an injected write failure, the drive roots)
// back to its value at start-up, before main. Everything else is a value
// its owner makes: the scene, the input's state (with the status line),
// the fonts, the sink, the configuration, the paths, the text files, the
// card link (with the live sender) and the frame's cache. Tests start each
// case from all of them.
#pragma once

void reset_to_startup_state();
