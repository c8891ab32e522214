// vantiro_random_scene --open DIR: loads DIR's scene as the editor's start
// does (tidying the folder: what cut-short saves left is removed, damaged
// files kept aside), and ends; for the tests that check what a start does.
// vantiro_random_scene SEED DIR [--no-digits] [--text-files] [--alternate SEED2 SAVES]:
// writes the random scene of SEED as the editor's scene files into DIR (the
// editor's own saver), and prints "pitch rows cols width height digits
// odd_colours" for the test that reads it (width, height: board (0, 0)'s
// LEDs, for SysCfg.ini).
//   --text-files  the scene's first two texts take their words from
//                 my_txt3.txt and my_txt4.txt (text sources 3 and 4), which
//                 are written into DIR too, their lines made from SEED; a
//                 scene with fewer than two texts is refused
//   --alternate   SAVES saves in all, the scenes of SEED and SEED2 in
//                 turn, SEED first, each built afresh before its save (for
//                 the test that kills a saving program); nothing is printed
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/scene_files/scene_files.h"
#include "app/startup.h"
#include "platform/platform.h"
#include "random_scene.h"

namespace {

// A decimal number of the argument, or false.
bool number(const char* text, unsigned long* out) {
    char* end = nullptr;
    if (!*text) return false;
    *out = std::strtoul(text, &end, 10);
    return *end == '\0';
}

// The random scene of seed in scene, to be saved into folder (ending with
// '/'); with text_files, its first two texts read my_txt3.txt and
// my_txt4.txt, written there too.
bool make_scene(Scene& scene, Data_paths* paths, uint32_t seed, bool with_digits, bool text_files,
                const std::string& folder, Random_scene* made, std::string* err) {
    *made = make_random_scene(scene, seed, with_digits);
    if (!build_data_paths(folder.c_str(), paths, err)) return false;
    if (!text_files) return true;
    if (made->texts < 2) {
        *err = "scene " + std::to_string(seed) + " places " + std::to_string(made->texts) +
               " texts; --text-files needs two";
        return false;
    }
    for (int source : {3, 4}) {
        // A text shows a file only while it is the left panel's own entry
        // (record 3 or 4, its words untouched), dragged onto the sign: the
        // panel's entry takes the place, size and colour of one of the
        // random scene's texts (string_draws 5 and on), which is switched off.
        string_draw& file = scene.string_draws[source];
        string_draw& random_text = scene.string_draws[5 + source - 3];
        file.x = random_text.x;
        file.y = random_text.y;
        file.pitch = random_text.pitch;
        file.font_size = random_text.font_size;
        file.colour = random_text.colour;
        file.enabled = 1;
        file.text_source = static_cast<uint8_t>(source);
        random_text.enabled = 0;
        std::string words = "Seed " + std::to_string(seed) + " file " + std::to_string(source) + ":";
        for (uint32_t i = 0; i < 4 + seed % 7; ++i) words += " " + std::to_string(seed * 131 + i * 17);
        words += "\r\nsecond line, not shown\r\n";
        const std::string path = folder + "my_txt" + std::to_string(source) + ".txt";
        if (!platform_write_file_atomic(path.c_str(), words.data(), words.size(), err)) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && !std::strcmp(argv[1], "--open")) {
        static Scene scene;
        static Config config;
        static Program_paths paths;
        static Text_files texts;
        Status_line status;   // what start-up says (standard error)
        Bitmap_fonts fonts;
        char exe[4096];
        std::string err;
        if (!platform_executable_path(exe, sizeof exe, &err) ||
            !startup_paths_and_config(exe, &paths, &config, fonts, status, &err, argv[2])) {
            std::fprintf(stderr, "vantiro_random_scene: %s\n", err.c_str());
            return 1;
        }
        startup_scene(scene, config, paths, texts, status, nullptr, nullptr, Folder_use::editor);
        return 0;
    }
    bool with_digits = true, text_files = false, alternate = false, usage = argc < 3;
    unsigned long seeds[2] = {}, saves = 1;
    usage = usage || !number(argv[1], &seeds[0]);
    for (int i = 3; !usage && i < argc; ++i) {
        if (!std::strcmp(argv[i], "--no-digits")) {
            with_digits = false;
        } else if (!std::strcmp(argv[i], "--text-files")) {
            text_files = true;
        } else if (!std::strcmp(argv[i], "--alternate") && i + 2 < argc && number(argv[i + 1], &seeds[1]) &&
                   number(argv[i + 2], &saves) && saves > 0) {
            alternate = true;
            i += 2;
        } else {
            usage = true;
        }
    }
    if (usage) {
        std::fprintf(stderr, "usage: %s SEED DIR [--no-digits] [--text-files] [--alternate SEED2 SAVES]\n",
                     argv[0]);
        return 2;
    }
    static Scene scene;   // about 800 KB: static storage
    static Data_paths paths;
    const std::string folder = std::string(argv[2]) + "/";
    std::string err;
    Random_scene first;
    for (unsigned long n = 0; n < saves; ++n) {
        Random_scene s;
        if (!make_scene(scene, &paths, static_cast<uint32_t>(seeds[n % 2]), with_digits, text_files, folder, &s,
                        &err) ||
            !save_scene_files(scene, paths, &err)) {
            std::fprintf(stderr, "vantiro_random_scene: %s\n", err.c_str());
            return 1;
        }
        if (n == 0) first = s;
    }
    if (!alternate)
        std::printf("%d %d %d %d %d %d %d\n", first.pitch, first.rows, first.cols, first.width, first.height,
                    first.digits, first.odd_colours ? 1 : 0);
    return 0;
}
