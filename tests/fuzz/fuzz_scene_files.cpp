// libFuzzer target: any bytes as the five scene files the editor loads at
// start-up. The input is cut at each byte 0x1E (record separator) into
// digit.conf, leduit.conf, string.conf, grape.conf and scene.conf, in that
// order; a file with no piece left is absent, pieces after the fifth are
// ignored. The files go into one temporary folder of this process, emptied
// before every input (a load renames damaged files aside there), and
// the scene is loaded as at start-up, saved, loaded afresh and saved again.
//
// Checked beyond "no crash": a loaded scene always saves (the folder is
// writable), and what it saves loads back to the same scene, so a second
// save writes the same five files byte for byte.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/reset.h"
#include "app/scene_files/scene_files.h"
#include "app/startup.h"
#include "platform/platform.h"
#include "scene/scene.h"
#include "ui/menus.h"
#include "scene/status_line.h"

namespace {

// About 800 KB: static storage, reset before each load.
Scene scene;

constexpr uint8_t separator = 0x1E;
const char* const file_names[] = {"digit.conf", "leduit.conf", "string.conf", "grape.conf", "scene.conf"};
constexpr int file_count = 5;

// The process's folder, ending with '/'; removed with its files at exit.
std::string folder;
Data_paths paths;   // the scene files in folder

void remove_folder() {
    std::error_code ec;
    if (!folder.empty()) std::filesystem::remove_all(folder, ec);
}

// A folder in memory when there is one: every save syncs its files.
std::string make_folder() {
    const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string name = std::string(base) + "/vantiro-fuzz-scene-XXXXXX";
    if (!mkdtemp(name.data())) {
        std::perror("fuzz_scene_files: mkdtemp");
        std::abort();
    }
    return name + "/";
}

// Every entry of the folder removed (the five files, files renamed aside,
// temporaries).
void empty_folder() {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) std::filesystem::remove_all(e.path(), ec);
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<absent>";
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void load_fresh() {
    reset_scene(scene);
    build_layout(scene);
    Status_line status;
    load_scene_files(scene, paths, status);
}

// Saves the scene; a failure is a finding. Returns the five files' bytes.
void save_and_read(std::string (&files)[file_count]) {
    std::string err;
    if (!save_scene_files(scene, paths, &err)) {
        std::fprintf(stderr, "fuzz_scene_files: a loaded scene does not save: %s\n", err.c_str());
        std::abort();
    }
    for (int k = 0; k < file_count; ++k) files[k] = slurp(folder + file_names[k]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        reset_to_startup_state();
        set_diag_stream(std::fopen("/dev/null", "w"));
        folder = make_folder();
        std::atexit(remove_folder);
        std::string err;
        if (!build_data_paths(folder.c_str(), &paths, &err)) {
            std::fprintf(stderr, "fuzz_scene_files: %s: %s\n", folder.c_str(), err.c_str());
            std::abort();
        }
        return true;
    }();
    (void)ready;

    empty_folder();
    size_t at = 0;
    for (int k = 0; k < file_count && at <= size; ++k) {
        const void* found = size > at ? std::memchr(data + at, separator, size - at) : nullptr;
        const size_t end = found ? static_cast<size_t>(static_cast<const uint8_t*>(found) - data) : size;
        std::ofstream(folder + file_names[k], std::ios::binary)
            .write(reinterpret_cast<const char*>(data + at), static_cast<std::streamsize>(end - at));
        at = end + 1;   // past the separator; past the end when there was none
    }

    load_fresh();
    std::string first[file_count], second[file_count];
    save_and_read(first);
    load_fresh();
    save_and_read(second);
    for (int k = 0; k < file_count; ++k) {
        if (first[k] == second[k]) continue;
        std::fprintf(stderr, "fuzz_scene_files: %s differs after a save, a load and a save\n", file_names[k]);
        std::abort();
    }
    return 0;
}
