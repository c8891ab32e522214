// The status line that tells the operator what happened. It is not part
// of the scene (a message, not what the sign shows): any layer may say
// something, including code that only reads the scene.
#pragma once

#include <cstdint>

// A message for the operator, drawn in the window until the next one (GBK,
// empty for none).
constexpr int status_text_size = 256;
extern char status_text[status_text_size];

// Shows message (UTF-8) on the status line and writes it to standard
// error. A message too long for the line is cut at a whole character.
void set_status(const char* message_utf8);

// The same on the status line alone (progress that would flood standard
// error).
void show_status(const char* message_utf8);

// The status line back to its start-up value (empty).
void reset_status();
