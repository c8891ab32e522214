// vantiro-cli: the editor's scene from the command line, for operators'
// scripts and for tests.
//   vantiro-cli dump [DIR]   the start-up scene (pools, layout, scene files
//                            and SysCfg.ini of DIR, by default this
//                            program's folder) as one JSON object
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/scene_json.h"
#include "app/startup.h"
#include "platform/platform.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: vantiro-cli dump [DIR]\n");
    return 2;
}

// Builds the start-up scene from the files in dir (or beside this program).
bool start_scene(const char* dir, std::string* err) {
    char exe[4096];
    if (dir) {
        struct stat st;
        if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) {
            *err = std::string("cli: ") + dir + ": not a folder";
            return false;
        }
        std::string path = std::string(dir) + "/vantiro-cli";
        if (path.size() >= sizeof exe) {
            *err = "cli: folder path too long";
            return false;
        }
        std::snprintf(exe, sizeof exe, "%s", path.c_str());
    } else if (!platform_executable_path(exe, sizeof exe, err)) {
        return false;
    }
    if (!startup_paths_and_config(exe, err)) return false;
    startup_scene();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string command = argv[1];
    if (command == "dump" && argc <= 3) {
        std::string err;
        if (!start_scene(argc == 3 ? argv[2] : nullptr, &err)) {
            std::fprintf(stderr, "%s\n", err.c_str());
            return 1;
        }
        std::string json = scene_json();
        std::fwrite(json.data(), 1, json.size(), stdout);
        std::fputc('\n', stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    return usage();
}
