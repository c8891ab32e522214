// The frame benchmark's parts, shared by its files: the scene under
// measure, its scene-file reader and the edits the timings replay.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/config.h"
#include "app/frame.h"
#include "app/program_paths.h"
#include "controller/script_writer.h"
#include "render/bitmap_font.h"
#include "render/gl_sink.h"
#include "render/outline_font.h"
#include "scene/scene.h"
#include "ui/ui_state.h"

// The scene under measure (static storage: it is about 800 KB).
extern Scene bench_scene;
extern Ui_state bench_ui;   // the input the timed edits go through
// What the editor's main owns beside them: the frame's cache, the text
// files (none read: the benchmark scenes show none), the paths and the
// configuration its start-up reads.
extern Frame_cache bench_frame;
extern Text_files bench_texts;
extern Program_paths bench_paths;
extern Config bench_config;
extern Outline_font bench_font;   // the labels' face and glyph cache, for every sink
extern Bitmap_fonts bench_dot_fonts;   // the dot texts' font files

// Presents a frame (the GLUT buffer swap).
void swap();

// Reads the benchmark scene file at path into bench_scene (shapes in records
// 37.. of groups 0, 1, 2, ...); false with a message when it cannot.
bool load_scene(const char* path);

// The text the timings drag and type into: the last text record, on the
// sign 40 LEDs from its corner, selected.
void place_moving_text();
// Holds the moving text as a press on it does.
void grab_moving_text();
// The moving text's k-th place of a drag across the window.
void drag_step(int k);

// Frames a second, dots and draw calls of the scene with either sink, and
// frames while editing (frame_timing.cpp).
void report(const char* name, double seconds);
void report_edits(const char* name, int frames, int per_dot_frames);

// Pixels that differ between the sinks' pictures of the scene, and after
// edits at several pitches (frame_check.cpp).
long compare(const char* name);
long compare_edits();

// Export, card model and undo timings without a window, and the scene
// saved as the editor's files (outputs_bench.cpp).
int outputs(const char* scene_file);
int save(const char* scene_file, const char* dir);
