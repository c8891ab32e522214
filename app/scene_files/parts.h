// The parts of the scene files, for scene_files.cpp, which loads and saves
// them in their order: the four number files (number_files.cpp), scene.conf
// (scene_conf.cpp) and the copies of damaged files (kept_aside.cpp).
#pragma once

#include <cstdint>
#include <string>

#include <vector>

#include "app/program_paths.h"
#include "app/scene_files/scene_files.h"
#include "scene/scene.h"
#include "scene/status_line.h"

// Messages of the scene files on standard error, "scene: " first.
void report(const std::string& message);

// File name of a path, for messages.
const char* base_name(const char* path);

// [The four number files] digit.conf, leduit.conf, string.conf, grape.conf,
// in the order of their checksums in scene.conf.
constexpr int four_files = 4;
const char* four_file_path(const Data_paths& paths, int k);

enum class Read { ok, missing, unreadable, refused };

// The records a scene.conf describes, gathered before any is applied.
struct Staged {
    int32_t pitch;
    int32_t counts[6];
    int32_t menu[2];
    led_unit boards[led_unit_count];
    string_draw texts[string_draw_count];
    Digit_unit digits[digit_groups_in_use * digit_group_size];
    graph_draw graphs[graph_draw_count];
    bool graph_listed[graph_draw_count];
    uint64_t checksums[2][four_files];   // of the files lines
    int checksum_lines;
};

// What one load or save of the scene files reads into: a number file's
// lines, the bytes of the file being read and the staged scene.conf. Made
// afresh (on the heap: about 400 KB) by each load_scene_files and
// save_scene_files, and gone with it, unless the caller passes its own.
using Line_table = char[scene_line_slots][scene_line_size];
struct Scene_reading {
    Line_table lines;
    std::vector<uint8_t> file;
    Staged staged;
};

// Reads number file k into reading's line table (the rules of read_lines):
// *count gets the number of lines; otherwise why says what is wrong,
// without the path. refused: readable, but breaks the limits.
Read read_number_file(Scene_reading& reading, const Data_paths& paths, int k, int* count, std::string* why);

// Gives scene what the count lines just read from number file k into
// reading hold;
// missing lines keep their values, counts are held to the pools.
void load_number_file(const Scene_reading& reading, Scene& scene, int k, int count);

// Number file k of scene, as its bytes.
std::string number_file(const Scene& scene, int k);

// [Whole files] The whole file at path into bytes (at most
// whole_file_limit); a missing file reads as empty. False (errno set) when
// it exists but cannot be read.
bool read_whole(const char* path, std::string* bytes);

// Renames the refused file at path to NAME.bad-YYYYMMDD-HHMMSS beside it
// and says so on the status line, with why it was refused and what
// happens instead.
void keep_aside_and_tell(Status_line& status, const char* path, const std::string& why, const char* instead);

// The rename alone: the new file name, or "" with the reason in err. A
// name with err set: renamed, but the folder could not be flushed.
std::string keep_aside(const char* path, std::string* err);

// [scene.conf]
enum class Conf { missing, unreadable, damaged, sound };

// Reads scene.conf at path into staged, pitch being the view's until a view line says otherwise. Unless
// it is sound, why says what is wrong ("line 12: bad text line").
Conf stage_scene_conf(Staged& staged, const char* path, int pitch, std::string* why);
// The same, the file's bytes read into file (a buffer the caller keeps).
Conf stage_scene_conf(Staged& staged, std::vector<uint8_t>& file, const char* path, int pitch, std::string* why);

// True when the staged scene.conf has files lines.
bool staged_has_checksums(const Staged& staged);

// True when a files line of the staged scene.conf holds sum for number
// file k, or it has no files line (written before they existed).
bool recorded(const Staged& staged, int k, uint64_t sum);

// The staged scene.conf over scene.
void apply_staged(const Staged& staged, Scene& scene);

// FNV-1a (64 bits) of bytes followed by their length (8 bytes, least
// significant first).
uint64_t checksum(const std::string& bytes);

// scene.conf for scene, written with number files of checksums sums.
std::string scene_conf_file(const Scene& scene, const uint64_t* sums);

// The first step of a save: lets the scene.conf on disk hold for the new
// number files (checksums fresh) too, before any of them is replaced.
bool widen_scene_conf(Staged& staged, const Data_paths& paths, int pitch, const uint64_t* fresh,
                      std::string* err);
