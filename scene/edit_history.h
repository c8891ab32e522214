// Undo and redo of the editor's edits.
//
// The history keeps a copy of the scene as it was after the last recorded
// edit (the base) and, for each edit, the bytes of the scene it changed as
// the XOR of their values before and after: applying a step's bytes once
// undoes it and applying them again redoes it. A step is a list of runs
// (offset, length, XOR bytes), so moving one text costs a few dozen bytes,
// a zoom of a full scene some tens of kilobytes.
//
// Memory is fixed when the history starts and never grows: two copies of
// the scene (sizeof(Scene), about 800 KB each), a step buffer of step_buffer_bytes
// and a table of max_steps steps. When either is full the oldest steps are
// dropped, never the newest. Recording, undo and redo allocate nothing.
//
// What is not an edit: the mouse position, the drawing area's size and the
// close entry's place (they follow the window), and a change of selection
// alone (with what the selection settles, such as a selected text's box).
// A step carries the selection from the step before it to its own end, so
// undoing every step gives back the scene byte for byte, selection and all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "scene/scene.h"

class Edit_history {
public:
    static constexpr size_t step_buffer_bytes = size_t{16} << 20;
    static constexpr int max_steps = 256;

    // Typing into a text: a run of typing steps into the same text, with
    // nothing else recorded between them, becomes one step.
    enum Step_kind : uint8_t { step_edit = 0, step_typing = 1 };

    Edit_history();
    ~Edit_history();
    Edit_history(const Edit_history&) = delete;
    Edit_history& operator=(const Edit_history&) = delete;

    // Takes the scene as the start of a new history, with no step to undo or
    // redo. The first call allocates the history's memory; false (and
    // nothing is recorded afterwards) when it cannot be had.
    bool start(const Scene& scene);
    bool started() const { return base_ != nullptr; }

    // Forgets every step and the base (a reset to the start-up state).
    void stop();

    // Records what changed since the last record as one step. Nothing is
    // recorded when only the view changed (see above); the steps undone
    // before are dropped when an edit is recorded. A typing step into the
    // same text (target) as the step before it joins that step.
    void record(const Scene& scene, Step_kind kind = step_edit, int target = -1);

    // Undoes the newest step not yet undone (after recording what changed
    // since the last record, so that it too can be redone). False when
    // there is none.
    bool undo(Scene& scene);

    // Redoes the oldest step undone. False when there is none, or when an
    // edit was made since the undo.
    bool redo(Scene& scene);

    // Puts back the scene as the last record left it (an unfinished edit,
    // such as an open rectangle, is dropped). The view is kept.
    void revert(Scene& scene) const;

    int undo_steps() const { return cursor_; }
    // Grows with every recorded step, undo and redo: what the autosave
    // compares to tell whether the scene changed since its last copy.
    uint64_t changes() const { return changes_; }
    int redo_steps() const { return count_ - cursor_; }
    size_t bytes_used() const { return used_; }
    // Size of the newest step's bytes, runs and their headers.
    size_t newest_step_bytes() const;

private:
    uint64_t changes_ = 0;
    struct Step {
        size_t offset = 0;   // into the step buffer
        size_t size = 0;     // bytes
        Step_kind kind = step_edit;
        int target = -1;
    };

    // Copies the view (mouse, drawing area, close entry) from scene into the
    // base, so that a diff never holds it.
    void take_view(const Scene& scene);
    // Bytes the runs from base to scene take, or 0 when they are equal.
    size_t diff_size(const Scene& scene) const;
    // Writes those runs at buffer_ + used_ (room is there).
    void write_diff(const Scene& scene);
    // XORs step k's runs into target.
    void apply(int k, Scene& target) const;
    // Drops the oldest steps until room bytes and one table entry are free.
    void make_room(size_t room);
    // Drops the steps from `from` on.
    void truncate(int from);
    // True when scene differs from the base in its selection alone (and
    // what settle_after_edit makes of it).
    bool selection_only(const Scene& scene);
    void settle_pending(Scene& scene);

    std::unique_ptr<Scene> base_;
    std::unique_ptr<Scene> scratch_;   // for selection_only
    std::unique_ptr<uint8_t[]> buffer_;
    Step steps_[max_steps];
    int count_ = 0;       // steps held, oldest first
    int cursor_ = 0;      // steps 0..cursor_-1 are done, the rest undone
    size_t used_ = 0;     // bytes of buffer_ in use (steps are packed in order)
    bool joinable_ = false;   // the newest step may take the next typing step
};
