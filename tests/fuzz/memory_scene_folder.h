// What the scene-file fuzz targets share.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/scene_files/scene_files.h"
#include "app/startup.h"
#include "platform/platform.h"
#include "scene/scene.h"
#include "ui/menus.h"

// Run once, before the first input: the loader's complaints go to /dev/null
// (expected, and many); folder answers for root, a path on no disk, so a
// path that misses the folder fails rather than writes somewhere; paths
// names the scene files in it; start is the scene as a start makes it
// before any file is read. A failure ends the run, naming target.
inline bool serve_scene_files_from_memory(const char* target, const char* root, Memory_folder& folder,
                                          Data_paths& paths, Scene& start) {
    set_diag_stream(std::fopen("/dev/null", "w"));
    folder.root = root;
    std::string err;
    if (!build_data_paths(root, &paths, &err)) {
        std::fprintf(stderr, "%s: %s: %s\n", target, root, err.c_str());
        std::abort();
    }
    reset_scene(start);
    build_layout(start);
    return true;
}

// What the reads fill (about 400 KB): made once, not once an input.
inline Scene_reading& fuzz_reading() {
    static Scene_reading* r = new Scene_reading;
    return *r;
}
