// libFuzzer target: any bytes as SysCfg.ini, read as at start-up
// (read_config) and through the private-profile reader directly with
// buffers from one byte up.
//
// Checked beyond "no crash": every configuration text ends within its
// buffer; WIDTH and HEIGHT are within 0..board_size_max and pacing is 0
// or 1; a value read into a small buffer is the start of the same value
// read into one large enough for the whole file, the returned length is
// that of the text copied, and "cut" is said exactly when bytes were left
// out.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/config.h"
#include "platform/platform.h"
#include "scene/status_line.h"

namespace {

std::string ini_path;

void remove_ini() {
    std::error_code ec;
    if (!ini_path.empty()) std::filesystem::remove(ini_path, ec);
}

[[noreturn]] void fail(const char* what, const char* section, const char* key) {
    std::fprintf(stderr, "fuzz_config: [%s] %s: %s\n", section, key, what);
    std::abort();
}

void check_text(const char* text, size_t cap, const char* name) {
    if (!std::memchr(text, '\0', cap)) fail("the text does not end within its buffer", "config", name);
}

// The keys the editor reads, and a few the reader must treat alike: keys
// before any section (section ""), a name with a blank inside, another case.
struct Entry {
    const char* section;
    const char* key;
};
const Entry entries[] = {
    {"RemotIP", "RemotIP"}, {"LEDPARA", "WIDTH"}, {"LEDPARA", "HEIGHT"}, {"NetSyc", "Syc_Enable"},
    {"LiveSend", "Pacing"}, {"Export", "Folder"}, {"", "a"},            {"a b", "k"},
    {"ledpara", "width"},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        ini_path = std::string(base) + "/vantiro-fuzz-SysCfg-" + std::to_string(::getpid()) + ".ini";
        std::atexit(remove_ini);
        return true;
    }();
    (void)ready;
    std::ofstream(ini_path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    static Config config;   // about 23 KB: static storage, made afresh for every input
    config = Config{};
    Status_line status;
    read_config(ini_path.c_str(), &config, status);
    check_text(config.remote_ip, sizeof config.remote_ip, "RemotIP");
    check_text(config.width, sizeof config.width, "WIDTH");
    check_text(config.height, sizeof config.height, "HEIGHT");
    check_text(config.sync, sizeof config.sync, "Syc_Enable");
    check_text(config.export_folder, sizeof config.export_folder, "Folder");
    for (const char* size_text : {config.width, config.height}) {
        const int32_t v = leading_decimal(size_text);
        if (v < 0 || v > board_size_max) fail("a board size outside its range", "LEDPARA", size_text);
    }
    if (config.live_pacing != 0 && config.live_pacing != 1) fail("pacing is neither 0 nor 1", "LiveSend", "Pacing");

    // The whole file fits in `whole` bytes, so nothing is cut there.
    const bool has_nul = std::memchr(data, '\0', size) != nullptr;
    const size_t whole = size + 8;
    std::vector<char> full(whole), part(64);
    for (const Entry& e : entries) {
        bool cut = true;
        const size_t n = platform_read_profile_string(e.section, e.key, "dflt", full.data(), whole,
                                                      ini_path.c_str(), &cut);
        if (cut) fail("a value longer than the file", e.section, e.key);
        if (n != std::strlen(full.data())) fail("the length returned is not the text's", e.section, e.key);
        for (size_t cap : {1, 2, 3, 5, 17, 64}) {
            std::memset(part.data(), 'x', part.size());
            bool part_cut = false;
            const size_t m = platform_read_profile_string(e.section, e.key, "dflt", part.data(), cap,
                                                          ini_path.c_str(), &part_cut);
            if (!std::memchr(part.data(), '\0', cap))
                fail("a value does not end within its buffer", e.section, e.key);
            if (m != std::strlen(part.data())) fail("the length returned is not the text's", e.section, e.key);
            // NUL bytes inside a value end its text early in either buffer.
            if (m != (n < cap - 1 ? n : cap - 1)) fail("a short buffer gets another length", e.section, e.key);
            if (std::memcmp(part.data(), full.data(), m) != 0)
                fail("a short buffer gets other bytes", e.section, e.key);
            if (!has_nul && part_cut != (n > cap - 1)) fail("cut is said wrongly", e.section, e.key);
        }
    }
    return 0;
}
