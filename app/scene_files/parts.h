// The parts of the scene files, for scene_files.cpp, which loads and saves
// them in their order: the four number files (number_files.cpp), scene.conf
// (scene_conf.cpp) and the copies of damaged files (kept_aside.cpp).
#pragma once

#include <cstdint>
#include <string>

#include "scene/scene.h"
#include "scene/status_line.h"

// Messages of the scene files on standard error, "scene: " first.
void report(const std::string& message);

// File name of a path, for messages.
const char* base_name(const char* path);

// [The four number files] digit.conf, leduit.conf, string.conf, grape.conf,
// in the order of their checksums in scene.conf.
constexpr int four_files = 4;
const char* four_file_path(int k);

enum class Read { ok, missing, unreadable, refused };

// Reads number file k into the line table (the rules of read_lines):
// *count gets the number of lines; otherwise why says what is wrong,
// without the path. refused: readable, but breaks the limits.
Read read_number_file(int k, int* count, std::string* why);

// Gives scene what the count lines just read from number file k hold;
// missing lines keep their values, counts are held to the pools.
void load_number_file(Scene& scene, int k, int count);

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

// Reads scene.conf at path into the staged scene (held until the next
// call), pitch being the view's until a view line says otherwise. Unless
// it is sound, why says what is wrong ("line 12: bad text line").
Conf stage_scene_conf(const char* path, int pitch, std::string* why);

// True when the staged scene.conf has files lines.
bool staged_has_checksums();

// True when a files line of the staged scene.conf holds sum for number
// file k, or it has no files line (written before they existed).
bool recorded(int k, uint64_t sum);

// The staged scene.conf over scene.
void apply_staged(Scene& scene);

// FNV-1a (64 bits) of bytes followed by their length (8 bytes, least
// significant first).
uint64_t checksum(const std::string& bytes);

// scene.conf for scene, written with number files of checksums sums.
std::string scene_conf_file(const Scene& scene, const uint64_t* sums);

// The first step of a save: lets the scene.conf on disk hold for the new
// number files (checksums fresh) too, before any of them is replaced.
bool widen_scene_conf(int pitch, const uint64_t* fresh, std::string* err);
