// The recovery copy: the editor's scene as the latest edit left it, kept
// beside the scene files (scene.recovery), so that a crash, a kill or a
// power cut loses at most the last couple of seconds of work. The copy is
// the scene's bytes (a Scene is plain data) behind a header that names the
// build's layout of a Scene, the time and a checksum: it is for the same
// program after a crash, not a file format to keep.
//
// The main thread copies the scene into a buffer (about 800 KB, a fraction
// of a millisecond) at most once every interval_ms after an edit; a writer
// thread writes it atomically, off the frame's path. × (after its save)
// and Ctrl+S (the operator's discard) remove the copy; anything else that
// ends the program leaves it, and the next start recovers it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "scene/scene.h"

class Autosave {
public:
    static constexpr int64_t interval_ms = 2000;

    Autosave() = default;
    Autosave(const Autosave&) = delete;
    Autosave& operator=(const Autosave&) = delete;
    ~Autosave();

    // Starts the writer for the copy at path; the scene as it is now
    // (changes: the history's count, see Edit_history::changes) is the one
    // already saved. False with the reason when memory cannot be had.
    bool start(const std::string& path, uint64_t changes, std::string* err);

    // After input: when the scene changed since the last copy and the last
    // copy is interval_ms old, hands a copy of it to the writer. Returns
    // the milliseconds until a copy is due (-1: nothing pending), for the
    // main loop's wait.
    int64_t tick(const Scene& scene, uint64_t changes, int64_t now_ms);

    // A failure of the writer not yet told ("" when none), then forgotten.
    std::string take_failure();

    // Ends the writer after the copy it is writing; nothing more is written.
    void stop();
    // stop, and the copy removed: the operator saved, or discarded.
    void discard();

private:
    void run();

    std::string path_;
    std::unique_ptr<Scene> handed_, writing_;   // allocated once, at start
    std::thread writer_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool have_copy_ = false, stopping_ = false;
    uint64_t copied_changes_ = 0;     // the history's count the last copy had
    int64_t last_copy_ms_ = -interval_ms;
    int64_t copied_at_s_ = 0;         // wall-clock seconds of the handed copy
    std::string failure_;
};

// A recovery copy read back.
enum class Recovery { none, recovered, other_build, damaged };
// Reads the copy at path into *scene when it is whole and of this build;
// *written_at: when it was written (seconds since the epoch).
Recovery read_recovery(const std::string& path, Scene* scene, int64_t* written_at, std::string* why);
