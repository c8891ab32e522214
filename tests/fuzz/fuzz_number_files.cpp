// libFuzzer target: any bytes as one of the four number files, on its own.
// The first byte picks which (its value modulo 4: digit.conf, leduit.conf,
// string.conf, grape.conf); the rest is the file, held in a folder in
// memory (platform's Memory_folder). The reader of that file alone runs,
// over the scene as at start-up: an input costs what its file costs, so
// this runs thousands of inputs a second where fuzz_scene_files, which
// loads all five files and always writes a scene.conf of some 2,000
// records, runs hundreds.
//
// Checked beyond "no crash": what the file's writer writes from the scene
// just read, its reader reads back to the same records, so writing them
// again gives the same bytes. grape.conf beyond the reader's 700 lines
// (over 139 rectangles) is not read back: saves pair it with scene.conf.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/scene_files/parts.h"
#include "app/scene_files/scene_files.h"
#include "app/startup.h"
#include "platform/platform.h"
#include "scene/scene.h"
#include "ui/menus.h"
#include "memory_scene_folder.h"

namespace {

// About 800 KB each: static storage. start is the scene as at start-up
// before the files, scene the one the file is read over.
Scene start, scene;

const char* const file_names[] = {"digit.conf", "leduit.conf", "string.conf", "grape.conf"};

// No folder on disk: a path that missed the memory folder fails rather
// than writes somewhere.
const char* const root = "/nonexistent/vantiro-fuzz-number-files/";

Memory_folder folder;
Data_paths paths;   // the files in root

[[noreturn]] void finding(const char* file, const std::string& what) {
    std::fprintf(stderr, "fuzz_number_files: %s: %s\n", file, what.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = serve_scene_files_from_memory("fuzz_number_files", root, folder, paths, start);
    (void)ready;
    if (size == 0) return 0;
    const Memory_folder_in_use in_memory(folder);
    const int k = data[0] % four_files;
    const char* name = file_names[k];
    folder.files[name].assign(data + 1, data + size);

    int count = 0;
    std::string why;
    if (read_number_file(fuzz_reading(), paths, k, &count, &why) == Read::ok) {
        scene = start;
        load_number_file(fuzz_reading(), scene, k, count);
        const std::string first = number_file(scene, k);
        folder.files[name].assign(first.begin(), first.end());
        const Read again = read_number_file(fuzz_reading(), paths, k, &count, &why);
        if (again == Read::ok) {
            load_number_file(fuzz_reading(), scene, k, count);
            if (number_file(scene, k) != first) finding(name, "differs after a write, a read and a write");
        } else if (!(again == Read::refused && k == 3)) {
            finding(name, "what it was written as does not read: " + why);
        }
    }
    folder.files.clear();   // what the input allocated, freed by it
    return 0;
}
