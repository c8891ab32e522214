// The status line that tells the operator what happened. It is not part
// of the scene (a message, not what the sign shows): any layer may say
// something on it, including code that only reads the scene, when it is
// handed the line.
#pragma once

#include <cstdint>

// Room for the line's text, GBK, NUL included.
constexpr int status_text_size = 256;

// The line: a message for the operator, drawn in the window until the next
// one, and whether it is a failure. The editor's main owns one (in its
// Ui_state) and passes it to whoever speaks to the operator; vantiro-cli's
// main and each test own their own. Starts empty, with no failure.
//
// Messages weigh differently. A failure stays on the line until another
// failure or an outcome replaces it (the operator acted again); routine
// notes and progress never hide it.
class Status_line {
public:
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
    bool status_is_failure() const { return failure_shown_; }

    // What the line shows (GBK, empty for none).
    const char* text() const { return text_; }

private:
    char text_[status_text_size] = {};
    bool failure_shown_ = false;
};
