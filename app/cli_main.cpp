// vantiro-cli: the editor's scene from the command line, for operators'
// scripts and for tests.
//   vantiro-cli dump [DIR]   the start-up scene (pools, layout, scene files
//                            and SysCfg.ini of DIR, by default this
//                            program's folder) as one JSON object
//   vantiro-cli replay IMAGE [DIR]
//                            the start-up scene after replaying the script
//                            stored in the flash image IMAGE (file offset =
//                            flash address); the replay's diagnostics go to
//                            standard error. IMAGE is only read: one without
//                            a command header is reported as such.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/scene_json.h"
#include "app/startup.h"
#include "command/replay.h"
#include "platform/platform.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: vantiro-cli dump [DIR]\n"
                         "       vantiro-cli replay IMAGE [DIR]\n");
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

int print_scene() {
    std::string json = scene_json();
    std::fwrite(json.data(), 1, json.size(), stdout);
    std::fputc('\n', stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string command = argv[1];
    std::string err;
    if (command == "replay" && (argc == 3 || argc == 4)) {
        // Diagnostics on standard error, the scene alone on standard output.
        set_diag_stream(stderr);
        if (!start_scene(argc == 4 ? argv[3] : nullptr, &err)) {
            std::fprintf(stderr, "%s\n", err.c_str());
            return 1;
        }
        std::vector<uint8_t> image;
        if (!platform_read_file(argv[2], max_flash_image_bytes, &image, &err)) {
            std::fprintf(stderr, "cli: %s\n", err.c_str());
            return 1;
        }
        switch (replay_image(image.data(), image.size())) {
            case Header_status::ok: break;
            case Header_status::short_image:
                std::fprintf(stderr, "cli: %s ends before the command header at 0x%x; nothing is replayed\n",
                             argv[2], command_header_address);
                break;
            case Header_status::uninitialised:
                std::fprintf(stderr, "cli: %s has no valid header; nothing is replayed\n", argv[2]);
                break;
        }
        return print_scene();
    }
    if (command == "dump" && argc <= 3) {
        if (!start_scene(argc == 3 ? argv[2] : nullptr, &err)) {
            std::fprintf(stderr, "%s\n", err.c_str());
            return 1;
        }
        return print_scene();
    }
    return usage();
}
