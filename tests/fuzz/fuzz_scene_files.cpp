// libFuzzer target: any bytes as the five scene files the editor loads at
// start-up. The input is cut at each byte 0x1E (record separator) into
// digit.conf, leduit.conf, string.conf, grape.conf and scene.conf, in that
// order; a file with no piece left is absent, pieces after the fifth are
// ignored. The files live in a folder in memory (platform's Memory_folder),
// filled afresh for every input: nothing touches the disk.
//
// Every input: the scene is loaded as at start-up from the five files
// together (damaged files renamed aside, scene.conf checked against the
// four); then each file's writer and reader are tried on their own.
// Checked beyond "no crash": what a writer writes, its reader reads back
// to the same records, so writing them again gives the same bytes: each
// number file written from the loaded scene (number_file, then
// read_number_file over it), and a sound scene.conf as given
// (scene_conf_file after apply_staged; its files line read back too). A
// number file is read back whole unless it is grape.conf beyond the
// reader's 700 lines, which saves pair with scene.conf (see
// scene_files.cpp). fuzz_number_files tries the number files' reader
// alone, many times faster.
//
// The whole cycle as the editor runs it: the loaded scene saves, and what
// it saves loads back to the same scene, so a second save writes the same
// five files byte for byte. A save always writes a scene.conf of some
// 2,000 records, which costs a hundred small inputs, so this is done for
// one input in 128 (chosen by a hash of its bytes, so that a finding
// replays), and for every input when VANTIRO_FUZZ_WHOLE_CYCLE is set (the
// corpus check in ctest sets it).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/scene_files/parts.h"
#include "app/scene_files/scene_files.h"
#include "app/startup.h"
#include "platform/platform.h"
#include "scene/scene.h"
#include "ui/menus.h"
#include "memory_scene_folder.h"
#include "scene/status_line.h"

namespace {

// About 800 KB each: static storage. start is the scene as at start-up
// before the files, scene the one loaded from them.
Scene start, scene;

constexpr uint8_t separator = 0x1E;
const char* const file_names[] = {"digit.conf", "leduit.conf", "string.conf", "grape.conf", "scene.conf"};
constexpr int file_count = 5;

// Where the files are: no folder on disk, so a path that missed the
// memory folder fails rather than writes somewhere.
const char* const root = "/nonexistent/vantiro-fuzz-scene/";
Data_paths paths;   // the scene files in root

Memory_folder folder;

[[noreturn]] void finding(const char* file, const char* what) {
    std::fprintf(stderr, "fuzz_scene_files: %s: %s\n", file, what);
    std::abort();
}

// The bytes of file name of the memory folder ("" when absent).
std::string bytes_of(const char* name) {
    const auto it = folder.files.find(name);
    return it == folder.files.end() ? std::string() : std::string(it->second.begin(), it->second.end());
}

// FNV-1a of the input: which inputs go through the whole cycle.
uint64_t hash_of(const uint8_t* data, size_t size) {
    uint64_t h = 14695981039346656037ull;
    for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

// Saves the scene; a failure is a finding. Returns the five files' bytes.
void save_and_read(std::string (&files)[file_count]) {
    std::string err;
    if (!save_scene_files(scene, paths, fuzz_reading(), &err)) finding("save", ("a loaded scene does not save: " + err).c_str());
    for (int k = 0; k < file_count; ++k)
        files[k] = folder.files.count(file_names[k]) ? bytes_of(file_names[k]) : "<absent>";
}

// The scene loaded afresh from the memory folder, as at start-up.
void load_fresh() {
    scene = start;
    Status_line status;
    load_scene_files(scene, paths, status, fuzz_reading());
}

// Save, load, save (the scene is loaded): the two saves write the same.
void whole_cycle() {
    std::string first[file_count], second[file_count];
    save_and_read(first);
    load_fresh();
    save_and_read(second);
    for (int k = 0; k < file_count; ++k)
        if (first[k] != second[k]) finding(file_names[k], "differs after a save, a load and a save");
}

void put_file(const char* name, const std::string& bytes) { folder.files[name].assign(bytes.begin(), bytes.end()); }

// Number file k written from the loaded scene, read back over it and
// written again.
void number_file_round_trip(int k) {
    int count = 0;
    std::string why;
    const std::string first = number_file(scene, k);
    put_file(file_names[k], first);
    const Read again = read_number_file(fuzz_reading(), paths, k, &count, &why);
    if (again == Read::refused && k == 3) return;   // over 139 rectangles: scene.conf's to carry
    if (again != Read::ok) finding(file_names[k], ("what it was written as does not read: " + why).c_str());
    load_number_file(fuzz_reading(), scene, k, count);
    if (number_file(scene, k) != first) finding(file_names[k], "differs after a write, a read and a write");
}

// scene.conf, when sound, as read, written, read back and written again.
void scene_conf_round_trip() {
    const std::string path = std::string(root) + file_names[4];
    std::string why;
    if (stage_scene_conf(fuzz_reading().staged, fuzz_reading().file, path.c_str(), scene.dot_pitch, &why) != Conf::sound) return;
    apply_staged(fuzz_reading().staged, scene);
    uint64_t sums[four_files];
    for (int k = 0; k < four_files; ++k) sums[k] = checksum(bytes_of(file_names[k]));
    const std::string first = scene_conf_file(scene, sums);
    put_file(file_names[4], first);
    if (stage_scene_conf(fuzz_reading().staged, fuzz_reading().file, path.c_str(), scene.dot_pitch, &why) != Conf::sound)
        finding(file_names[4], ("what it was written as is refused: " + why).c_str());
    if (!staged_has_checksums(fuzz_reading().staged) || !recorded(fuzz_reading().staged, 0, sums[0]) || !recorded(fuzz_reading().staged, 3, sums[3]))
        finding(file_names[4], "the checksums written are not read back");
    apply_staged(fuzz_reading().staged, scene);
    if (scene_conf_file(scene, sums) != first) finding(file_names[4], "differs after a write, a read and a write");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool every_whole_cycle = std::getenv("VANTIRO_FUZZ_WHOLE_CYCLE") != nullptr;
    static const bool ready = serve_scene_files_from_memory("fuzz_scene_files", root, folder, paths, start);
    (void)ready;
    const Memory_folder_in_use in_memory(folder);

    folder.files.clear();
    size_t at = 0;
    for (int k = 0; k < file_count && at <= size; ++k) {
        const void* found = size > at ? std::memchr(data + at, separator, size - at) : nullptr;
        const size_t end = found ? static_cast<size_t>(static_cast<const uint8_t*>(found) - data) : size;
        folder.files[file_names[k]].assign(data + at, data + end);
        at = end + 1;   // past the separator; past the end when there was none
    }
    // scene.conf as given, before the load renames it aside.
    const bool conf_given = folder.files.count(file_names[4]) > 0;
    const std::string given_conf = bytes_of(file_names[4]);

    load_fresh();
    if (every_whole_cycle || hash_of(data, size) % 128 == 0) whole_cycle();
    for (int k = 0; k < four_files; ++k) number_file_round_trip(k);
    if (conf_given) {
        put_file(file_names[4], given_conf);
        scene_conf_round_trip();
    }
    folder.files.clear();   // what the input allocated, freed by it
    return 0;
}
