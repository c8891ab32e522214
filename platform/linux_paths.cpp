// Executable path from /proc/self/exe, and the environment.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

bool platform_executable_path(char* out, size_t cap, std::string* err) {
    if (cap == 0) return false;
    ssize_t n = readlink("/proc/self/exe", out, cap);
    if (n < 0) {
        if (err) *err = std::string("path: cannot read /proc/self/exe: ") + std::strerror(errno);
        out[0] = '\0';
        return false;
    }
    if (static_cast<size_t>(n) >= cap) {
        // readlink does not terminate and silently cuts: treat a full buffer as too long.
        if (err) *err = "path: executable path is longer than " + std::to_string(cap - 1) + " characters";
        out[0] = '\0';
        return false;
    }
    out[n] = '\0';
    return true;
}

bool platform_environment(const char* name, std::string* value) {
    const char* v = std::getenv(name);
    if (!v) return false;
    *value = v;
    return true;
}

Folder_environment platform_folder_environment() {
    Folder_environment env;
    platform_environment("HOME", &env.home);
    platform_environment("XDG_CONFIG_HOME", &env.xdg_config_home);
    platform_environment("XDG_DATA_HOME", &env.xdg_data_home);
    return env;
}

namespace {

std::string with_slash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

// <xdg>/<name>/ when xdg is an absolute path, else <home>/<fallback>/<name>/;
// "" when neither is usable.
std::string user_folder(const std::string& xdg, const std::string& home, const char* fallback,
                        const char* name) {
    if (!xdg.empty() && xdg[0] == '/') return with_slash(xdg) + name + "/";
    if (!home.empty() && home[0] == '/') return with_slash(home) + fallback + "/" + name + "/";
    return "";
}

}  // namespace

bool platform_choose_folders(const char* exe_folder, const char* dir, const char* name, const char* probe,
                             const Folder_environment& env, Program_folders* out, std::string* err) {
    const std::string exe = exe_folder;
    *out = Program_folders{};
    out->share = out->config = out->data = exe;
    // <prefix>/share/<name>/: the executable's folder without its last part.
    std::string installed_share;
    if (exe.size() > 1 && exe.back() == '/') {
        const size_t cut = exe.rfind('/', exe.size() - 2);
        if (cut != std::string::npos) installed_share = exe.substr(0, cut + 1) + "share/" + name + "/";
    }
    if (!platform_is_folder((exe + probe).c_str()) && !installed_share.empty() &&
        platform_is_folder((installed_share + probe).c_str())) {
        out->installed = true;
        out->share = installed_share;
    }
    if (dir && *dir) {
        out->config = out->data = with_slash(dir);
        return true;
    }
    if (!out->installed) return true;
    out->config = user_folder(env.xdg_config_home, env.home, ".config", name);
    out->data = user_folder(env.xdg_data_home, env.home, ".local/share", name);
    if (out->config.empty() || out->data.empty()) {
        if (err)
            *err = std::string("path: HOME is not set to an absolute folder, so there is no place for ") + name +
                   "'s settings and scene; set HOME (or XDG_CONFIG_HOME and XDG_DATA_HOME) or choose a folder";
        return false;
    }
    return true;
}
