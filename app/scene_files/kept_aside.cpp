// Damaged scene files kept aside. A scene file the loader refuses for its
// content is first renamed to NAME.bad-YYYYMMDD-HHMMSS (local time) beside
// it, because the next save would replace it; scene.conf may hold typed
// texts nothing else has. A rename costs the same whatever the file's
// size, and the loader does not meet the file again. The status line
// names the file kept. Not damaged: a
// grape.conf beyond the reader's limits (over 139 rectangles) that
// scene.conf records as written with it.
#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "app/scene_files/parts.h"
#include "app/scene_files/scene_files.h"
#include "platform/platform.h"
#include "scene/status_line.h"

bool read_whole(const char* path, std::string* bytes) {
    bytes->clear();
    std::vector<uint8_t> file;
    std::string err;
    if (!platform_read_file(path, whole_file_limit, &file, &err)) return errno == ENOENT;
    bytes->assign(file.begin(), file.end());
    return true;
}

// Renames the file at path to NAME.bad-YYYYMMDD-HHMMSS beside it (local
// time; -1, -2 ... added while the name is taken), never over a file of
// that name. Returns the new file name, or "" with the reason in err (a
// name and err: renamed, the folder not flushed).
std::string keep_aside(const char* path, std::string* err) {
    const std::string name = base_name(path);
    const std::string folder(path, static_cast<size_t>(base_name(path) - path));   // "" or ending in '/'
    const std::string prefix = name + ".bad-";
    char stamp[32];
    const time_t now = std::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    for (int n = 0; n < 1000; ++n) {
        const std::string kept = prefix + stamp + (n ? "-" + std::to_string(n) : std::string());
        std::string why;
        switch (platform_rename_new(path, (folder + kept).c_str(), &why)) {
            case New_file::written: return kept;
            case New_file::taken: continue;
            case New_file::failed:
                *err = why;
                // Renamed, but the folder could not be flushed: the copy is
                // there now and may not survive a power cut; the caller says so.
                if (why.rfind("cannot flush the folder of", 0) == 0) return kept;
                return "";
        }
    }
    *err = "1000 files of this second are kept already";
    return "";
}

void keep_aside_and_tell(Status_line& status, const char* path, const std::string& why, const char* instead) {
    std::string err;
    const std::string copy = keep_aside(path, &err);
    std::string message = std::string("scene: ") + base_name(path) + " is damaged (" + why + "); ";
    message += copy.empty() ? "it could not be kept aside (" + err + "), the next save replaces it; "
               : err.empty() ? "kept as " + copy + "; "
                             : "kept as " + copy + " (" + err + "); ";
    status.set_failure((message + instead).c_str());
}
