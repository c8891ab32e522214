// libFuzzer target: an arbitrary flash image through the stored-script
// replay, in memory. The input is placed at flash address 0x10000 (where
// the command header lives) of an image whose first 64 KiB are zero.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "command/replay.h"
#include "platform/platform.h"
#include "scene/pools.h"
#include "ui/menus.h"
#include "scene/status_line.h"

// The scene the inputs edit, kept from one input to the next.
static Scene scene;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        set_diag_stream(std::fopen("/dev/null", "w"));
        build_layout(scene);
        return true;
    }();
    (void)ready;
    // Room for the texts and rectangles of every input.
    scene.text_count = 0;
    scene.rect_count = 0;
    std::vector<uint8_t> image(command_header_address, 0);
    image.insert(image.end(), data, data + size);
    Status_line status;
    replay_image(scene, status, image.data(), image.size());
    return 0;
}
