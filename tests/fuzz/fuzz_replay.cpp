// libFuzzer target: an arbitrary flash image through the stored-script
// replay. The input is placed at flash address 0x10000 (where the command
// header lives) of an image whose first 64 KiB are zero.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "command/replay.h"
#include "scene/pools.h"
#include "ui/menus.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string path = "/tmp/vantiro-fuzz-image-" + std::to_string(getpid());
    static bool ready = [] {
        set_diag_stream(std::fopen("/dev/null", "w"));
        build_layout();
        return true;
    }();
    (void)ready;
    text_count = 0;
    rect_count = 0;

    static const std::vector<uint8_t> zeros(0x10000, 0);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(zeros.data(), 1, zeros.size(), f);
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    replay_stored_script_from(path.c_str());
    return 0;
}
