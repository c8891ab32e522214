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
