// The editor's edits as steps: undo and redo (Ctrl+Z, Ctrl+Y and
// Ctrl+Shift+Z) and Delete, over the editing session's history (ui.history).
#pragma once

#include "scene/edit_history.h"
#include "scene/scene.h"
#include "ui/ui_state.h"

// Starts the history on the scene as it stands: the loaded scene at
// start-up, and the scene after the card's stored scene is replayed into
// it. Neither is a step, and steps before a replay are forgotten. Without
// memory for it, status says so.
void start_editor_history(Edit_history& history, Status_line& status, const Scene& scene);

// Records what an input handler changed, once its gesture is over: not
// while a button is held on an element, an entry or the window, nor while
// a measured rectangle is open (each becomes one step when it ends).
void record_input_edit(Ui_state& ui, const Scene& scene, Edit_history::Step_kind kind = Edit_history::step_edit,
                       int target = -1);

// Undo and redo. An unfinished gesture (a held element, an open
// rectangle) is dropped by an undo instead, and the element let go.
void undo_edit(Ui_state& ui, Scene& scene);
void redo_edit(Ui_state& ui, Scene& scene);

// Delete: removes the selected (or held) text, shape, digit module or
// measured rectangle, and clears the selection.
// - A shape or digit record goes back to its palette place with the
//   palette's look (the record it was taken from), so the palette stays
//   whole and the record can be dragged out again; counters are unchanged.
//   One still in its palette place is not removed.
// - A left-panel text (records 0..4) goes back to its place in the panel.
//   Another text is cleared and disabled: nothing draws, clicks, saves as
//   shown or sends it; text_count is unchanged, and Ctrl+E fills records
//   as before.
// - A measured rectangle is cleared and taken out of use; trailing records
//   out of use lower graph_count, so the next rectangle takes their place.
// Boards are not removed. True when something was removed.
bool delete_selected(Ui_state& ui, Scene& scene);
