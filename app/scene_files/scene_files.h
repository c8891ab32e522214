// The saved scene: four plain-text files of decimal numbers beside the
// executable (digit.conf, leduit.conf, string.conf, grape.conf), plus a
// fifth, scene.conf, which holds what the four cannot (number_files.cpp,
// scene_conf.cpp; every record's stored fields: scene/record_fields.h).
// Saved when the operator closes the program from the toolbar, loaded once
// at start-up.
#pragma once

#include "app/program_paths.h"
#include "scene/scene.h"
#include "scene/status_line.h"

#include <cstddef>
#include <string>

// Line table of the reader: 700 lines of at most 99 characters.
constexpr int scene_line_slots = 700;
constexpr int scene_line_size = 100;
constexpr size_t scene_file_limit = 20480;   // bytes
// Largest file read whole: scene.conf (a full scene is about 250 KB), and a
// damaged file to be kept aside (a larger one is not copied).
constexpr size_t whole_file_limit = size_t{8} << 20;

// Reads the file at path into lines: any run of CR and LF ends a line,
// empty lines are skipped. Returns the number of lines, or -1 when the file
// cannot be read or breaks the limits (then err says why).
int read_lines(const char* path, char (*lines)[scene_line_size], std::string* err);

// Who loads the scene files. The editor tidies the folder: it removes what
// cut-short saves left and renames a damaged file aside before its next
// save replaces it. A reader (vantiro-cli's dump, render, export, send,
// replay) leaves the folder as it found it, and says what the editor would
// keep aside.
enum class Folder_use { editor, reader };

// The folder's lock file (scene.lock beside the scene files): a save holds
// it exclusive, a load shared (the editor's load, which may rename,
// exclusive), so a load never sees a new scene.conf beside old number
// files. Writers make it; readers never do (no lock file, no lock).
constexpr int scene_lock_wait_ms = 5000;

// Loads the scene files at paths that exist. A file that cannot be read keeps its
// kind as it was; missing lines keep their values; counts are held to the
// pools. scene.conf is not used when the four files changed since it was
// written. Problems are reported on standard error; the editor first
// renames a damaged file aside (NAME.bad-YYYYMMDD-HHMMSS), and the status
// line (status) says so. True when the files gave the boards (their size included).
bool load_scene_files(Scene& scene, const Data_paths& paths, Status_line& status,
                      Folder_use use = Folder_use::editor);

// What a load or a save reads into (about 400 KB; see parts.h). The calls
// above make one of their own for the call; one who loads or saves many
// times over (the fuzz target) passes its own, made once.
struct Scene_reading;
bool load_scene_files(Scene& scene, const Data_paths& paths, Status_line& status, Scene_reading& reading,
                      Folder_use use = Folder_use::editor);
bool save_scene_files(const Scene& scene, const Data_paths& paths, Scene_reading& reading, std::string* err);

// Saves the scene to the five files at paths, each replaced atomically, holding the
// folder's lock file exclusive (made when missing). Returns
// false, with the reason in err, when a file could not be saved; files not
// yet replaced keep their previous content, and the files still load as
// the previous scene.
bool save_scene_files(const Scene& scene, const Data_paths& paths, std::string* err);
