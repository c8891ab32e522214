// The status line that tells the operator what happened. It is not part
// of the scene (a message, not what the sign shows): any layer may say
// something, including code that only reads the scene.
#pragma once

#include <cstdint>

// A message for the operator, drawn in the window until the next one (GBK,
// empty for none).
constexpr int status_text_size = 256;
extern char status_text[status_text_size];

// Messages weigh differently. A failure stays on the line until another
// failure or an outcome replaces it (the operator acted again); routine
// notes and progress never hide it.

// An outcome of what the operator did (saved, exported, sent, ...): shown
// on the status line whatever it holds, and written to standard error. A
// message too long for the line is cut at a whole character.
void set_status(const char* message_utf8);

// A failure: shown whatever the line holds, and written to standard error.
void set_failure(const char* message_utf8);

// A routine note (written to standard error; on the line unless a failure
// is there).
void note_status(const char* message_utf8);

// Progress, on the status line alone (it would flood standard error),
// unless a failure is there.
void show_status(const char* message_utf8);

// True while the line shows a failure.
bool status_is_failure();

// The status line back to its start-up value (empty, no failure).
void reset_status();
