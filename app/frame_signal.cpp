#include "app/frame_signal.h"

#include <cstdio>
#include <string>

#include "app/frame.h"
#include "app/outputs.h"
#include "controller/live_send.h"
#include "platform/platform.h"
#include "ui/keyboard.h"

void frame_signal_start(Frame_signal& state) {
    state = Frame_signal{};
    state.started = true;
    std::string path;
    if (platform_environment("VANTIRO_FRAME_FILE", &path)) state.path = path;
}

bool frame_signal_marker(Frame_signal& state, Frame_cache& cache, int key) {
    if (!state.started) frame_signal_start(state);
    if (state.path.empty() || key != key_f12) return false;
    ++state.marks;
    note_change(cache);
    return true;
}

void frame_signal_presented(Frame_signal& state, Card_link& link, void (*wait_window_system)()) {
    if (!state.started) frame_signal_start(state);
    if (state.path.empty()) return;
    ++state.frames;
    if (state.marks == state.marks_written) return;   // nothing new to say
    // The frame is on the screen, and a move or resize asked for before it
    // is done, before the file says so.
    if (wait_window_system) wait_window_system();
    char line[128];
    const int n = format_text(line, sizeof line, "frame %ld done %ld sending %d reading %d\n", state.frames,
                              state.marks, link.sender.wait_idle(0) ? 0 : 1, sync_in_progress(link) ? 1 : 0);
    std::string err;
    if (n > 0 && platform_write_file_atomic(state.path.c_str(), line, static_cast<size_t>(n), &err)) {
        state.marks_written = state.marks;
    } else if (!state.failed) {
        state.failed = true;
        std::fprintf(stderr, "vantiro: frame file: %s\n", n > 0 ? err.c_str() : "cannot format");
    }
}
