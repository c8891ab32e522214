// libFuzzer target: one command line and its payload (the input up to its
// first line feed is the line, the rest the payload) through the
// interpreter and the led and file commands.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "command/commands.h"
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
    // Let the counters run up to their limits and start again now and then.
    if (scene.text_count >= string_draw_count) scene.text_count = 0;
    if (scene.rect_count >= digit_group_size - 1) scene.rect_count = 0;

    std::vector<char> line(data, data + size);
    line.push_back('\0');
    const char* payload = "";
    if (char* lf = static_cast<char*>(std::memchr(line.data(), '\n', size))) {
        *lf = '\0';
        payload = lf + 1;
    }
    Status_line status;
    run_scene_line(scene, status, static_cast<int32_t>(size), line.data(), payload);
    return 0;
}
