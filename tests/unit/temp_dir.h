// A temporary folder for one test, removed with its files afterwards.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class Temp_dir {
public:
    Temp_dir() {
        char name[] = "/tmp/vantiro-test-XXXXXX";
        path_ = mkdtemp(name) ? name : "";
    }
    ~Temp_dir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    Temp_dir(const Temp_dir&) = delete;
    Temp_dir& operator=(const Temp_dir&) = delete;

    const std::string& path() const { return path_; }

    // Writes content to name inside the folder; returns the full path.
    std::string write(const std::string& name, const std::string& content) const {
        std::string full = path_ + "/" + name;
        std::ofstream(full, std::ios::binary) << content;
        return full;
    }

    // The bytes of name inside the folder ("" when it cannot be read).
    std::string read(const std::string& name) const {
        std::ifstream in(path_ + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string path_;
};

// What a command run through the shell printed on standard output (and on
// standard error, unless with_stderr is false) and its exit status (0:
// success).
struct Command_run {
    int status;
    std::string output;
};

inline Command_run run_command(const std::string& command, bool with_stderr = true) {
    Command_run r{-1, ""};
    FILE* p = popen((command + (with_stderr ? " 2>&1" : "")).c_str(), "r");
    if (!p) return r;
    char buf[65536];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.output.append(buf, n);
    r.status = pclose(p);
    return r;
}

