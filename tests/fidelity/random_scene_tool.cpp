// vantiro_random_scene SEED DIR [--no-digits]: writes the random scene of
// SEED as the editor's scene files into DIR (the editor's own saver), and
// prints "pitch rows cols width height digits odd_colours" for the test
// that reads it (width, height: board (0, 0)'s LEDs, for SysCfg.ini).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/scene_files/scene_files.h"
#include "app/startup.h"
#include "random_scene.h"

int main(int argc, char** argv) {
    if (argc < 3 || (argc == 4 && std::strcmp(argv[3], "--no-digits") != 0) || argc > 4) {
        std::fprintf(stderr, "usage: %s SEED DIR [--no-digits]\n", argv[0]);
        return 2;
    }
    static Scene scene;   // about 800 KB: static storage
    const Random_scene s = make_random_scene(scene, static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)), argc == 3);
    std::string err;
    std::snprintf(exe_folder, sizeof exe_folder, "%s/", argv[2]);
    if (!build_data_paths(exe_folder, &data_paths, &err) || !save_scene_files(scene, &err)) {
        std::fprintf(stderr, "vantiro_random_scene: %s\n", err.c_str());
        return 1;
    }
    std::printf("%d %d %d %d %d %d %d\n", s.pitch, s.rows, s.cols, s.width, s.height, s.digits,
                s.odd_colours ? 1 : 0);
    return 0;
}
