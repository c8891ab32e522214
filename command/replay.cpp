#include "command/replay.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "command/commands.h"
#include "platform/platform.h"
#include "scene/view_state.h"

namespace {

// Walks the enabled entries of image's stored script: run gets each
// entry's type, its command line (its own copy, which run may cut up) and
// the payload after the line's first line feed.
template <class Run>
Header_status for_each_stored_line(const uint8_t* image, size_t size, Run run) {
    Command_header header{};
    const Header_status status = read_command_header(image, size, &header);
    if (status != Header_status::ok) return status;
    const uint32_t count = header.count;
    diag_print("cmd count is %x\n", count);
    diag_print("Size of Cmd Header allocated %x\r\n", count * command_entry_size + 8);
    diag_print("CmdEntryCount is %d\r\n", static_cast<int>(count));
    if (header.present < count)
        diag_print("Cmd header cut short: %u of %u entries lie in the image\n", header.present, count);

    for (uint32_t i = 0; i < header.present; ++i) {
        const Command_entry& e = header.entries[i];
        if (!e.enabled || e.size <= 0) continue;
        diag_print("Cmd type %x, data size %d\r\n", e.type, e.size);
        if (e.size > max_command_data) {
            diag_print("Invalid CmdDataSize for type %x\n", e.type);
            continue;
        }
        const uint8_t* data = command_entry_data(image, size, e);
        if (!data) {
            diag_print("Cmd data for type %x lies outside the image; skipped\n", e.type);
            continue;
        }
        char line[max_command_data + 1];
        std::memcpy(line, data, static_cast<size_t>(e.size));
        line[e.size] = '\0';
        // The command line ends at the first line feed; the payload follows.
        // Without a line feed the payload is empty.
        const char* payload = "";
        if (char* lf = std::strchr(line, '\n')) {
            *lf = '\0';
            payload = lf + 1;
        }
        run(static_cast<int32_t>(e.type), line, payload);
    }
    return Header_status::ok;
}

}  // namespace

Header_status replay_image(Scene& scene, Status_line& status, const uint8_t* image, size_t size) {
    Scene_edit edit{scene, status};
    Command_interpreter interpreter = scene_interpreter(edit);
    const Header_status header = for_each_stored_line(
        image, size, [&](int32_t type, char* line, const char* payload) { interpreter.run_command_line(type, line, payload); });
    if (header == Header_status::ok) settle_positions_on_sign(scene);   // the new elements onto the sign's LEDs
    return header;
}

Header_status replay_image_onto(Scene& live, Scene& startup, Status_line& status, const uint8_t* image,
                                size_t size) {
    Scene_edit startup_edit{startup, status}, live_edit{live, status};
    Command_interpreter on_startup = scene_interpreter(startup_edit), on_live = scene_interpreter(live_edit);
    const Header_status header = for_each_stored_line(image, size, [&](int32_t type, char* line, const char* payload) {
        char copy[max_command_data + 1];
        std::memcpy(copy, line, std::strlen(line) + 1);
        const int32_t texts = startup.texts_made, shapes = startup.shapes_made;
        on_startup.run_command_line(type, line, payload);
        if (startup.texts_made != texts || startup.shapes_made != shapes) on_live.run_command_line(type, copy, payload);
    });
    if (header == Header_status::ok) settle_positions_on_sign(live);
    return header;
}

void replay_stored_script(Scene& scene, Status_line& status, const char* image_path) {
    std::vector<uint8_t> image;
    std::string err;
    if (!platform_read_file(image_path, max_flash_image_bytes, &image, &err)) {
        diag_print("%s; nothing is replayed\n", err.c_str());
        return;
    }
    switch (replay_image(scene, status, image.data(), image.size())) {
        case Header_status::ok: break;
        case Header_status::short_image:
            diag_print("%s ends before the command header at 0x%x; nothing is replayed\n", image_path,
                       command_header_address);
            break;
        case Header_status::uninitialised: {
            // An erased flash: the local image gets the default header.
            uint8_t bytes[default_header_size];
            default_command_header(bytes);
            if (!platform_write_at(image_path, command_header_address, bytes, sizeof bytes, &err))
                diag_print("Cannot write the default command header: %s\n", err.c_str());
            break;
        }
    }
}
