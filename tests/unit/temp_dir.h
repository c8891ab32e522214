// A temporary folder for one test, removed with its files afterwards.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
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

private:
    std::string path_;
};
