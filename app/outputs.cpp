#include "app/outputs.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/config.h"
#include "app/startup.h"
#include "command/flash_image.h"
#include "command/replay.h"
#include "controller/font_check.h"
#include "controller/live_send.h"
#include "csdk/csdk.h"
#include "platform/platform.h"
#include "render/bitmap_font.h"
#include "render/led_dots.h"
#include "render/shapes.h"
#include "scene/pools.h"
#include "scene/settings.h"
#include "scene/view_state.h"

namespace {

// Takes the editor's dots in window pixels and lights the LED each lies in.
class Board_led_target final : public Draw_target {
public:
    explicit Board_led_target(Led_framebuffer& screen) : screen_(screen) {
        pitch = dot_pitch;
        // The reach of the boards in use, so primitives skip the rest.
        clip_left = clip_top = INT64_MAX;
        clip_right = clip_bottom = INT64_MIN;
        for (int r = 0; r < output_rows(); ++r)
            for (int c = 0; c < output_columns(); ++c) {
                const led_unit& u = board_at(r, c);
                const int64_t ux = static_cast<uint32_t>(u.x), uy = static_cast<uint32_t>(u.y);
                clip_left = std::min(clip_left, ux);
                clip_top = std::min(clip_top, uy);
                clip_right = std::max(clip_right, ux + int64_t{u.width} * dot_pitch - 1);
                clip_bottom = std::max(clip_bottom, uy + int64_t{u.height} * dot_pitch - 1);
            }
    }

    void light(uint8_t colour, int32_t x, int32_t y) override {
        int r, c;
        if (x < 0 || y < 0 ||
            !board_holding(static_cast<uint32_t>(x), static_cast<uint32_t>(y), dot_pitch, &r, &c)) {
            screen_.light(colour, -1, -1);   // no LED, but the colour in force changes as drawn
            return;
        }
        const led_unit& u = board_at(r, c);
        const int64_t p = dot_pitch;
        const int64_t lx = (x - int64_t{static_cast<uint32_t>(u.x)}) / p + int64_t{c} * u.width;
        const int64_t ly = (y - int64_t{static_cast<uint32_t>(u.y)}) / p + int64_t{r} * u.height;
        screen_.light(colour, static_cast<int32_t>(lx), static_cast<int32_t>(ly));
    }

private:
    Led_framebuffer& screen_;
};

}  // namespace

void settle_scene_positions() {
    for (int g = 0; g < digit_groups_in_use; ++g)
        for (int i = 0; i < digit_group_size; ++i)
            if (digit_at(g, i).enabled) settle_digit_position(digit_at(g, i));
    for (string_draw& s : string_draws)
        if (s.enabled) settle_text_position(s);
}

void render_scene_leds(Led_framebuffer& screen) {
    screen.clear();
    Board_led_target target(screen);
    redirect_editor_dots(&target);
    // The frame's order: shapes and digits, then texts. Only the elements
    // on the sign: palette copies that reach over a board are not.
    settle_scene_positions();
    int r, c;
    auto on_sign = [&](uint32_t x, uint32_t y) { return board_holding(x, y, dot_pitch, &r, &c); };
    for (int g = 0; g < digit_groups_in_use; ++g)
        for (int i = 0; i < digit_group_size; ++i)
            if (on_sign(digit_at(g, i).x, digit_at(g, i).y)) draw_digit_unit(digit_at(g, i));
    for (string_draw& s : string_draws)
        if (on_sign(s.x, s.y)) draw_text_element(s);
    redirect_editor_dots(nullptr);
}

namespace {
// The font check's finding for the send in progress, said again with its end.
std::string font_warning;
}

Export_outcome export_scene() {
    settle_scene_positions();
    const std::string gaps = check_scene_fonts();
    Export_outcome o = export_to_drive(export_folder, exe_folder);
    if (!gaps.empty()) o.message += "; " + gaps;
    set_status(o.message.c_str());
    return o;
}

int32_t controller_client = 0;

void sync_from_card() {
    InitSdk(1, 2);
    controller_client = CreateClient(remote_ip, CSDK_DEFAULT_PORT, 254, 0, 0, 0);
    if (!controller_client) {
        set_status((std::string("card: RemotIP ") + remote_ip +
                    " in SysCfg.ini is not an address; the card's scene is not read").c_str());
        return;
    }
    start_live_sender(controller_client);
    // The image: 64 KiB of zeros, then the window as the card answers it.
    std::vector<uint8_t> image(flash_window_start, 0);
    image.reserve(flash_window_end);
    for (uint32_t offset = 0; offset < flash_window_end - flash_window_start; offset += 512) {
        char command[300];
        const int n = format_text(command, sizeof command, "file read_raw 0x%x %d \n", flash_window_start + offset, 512);
        uint8_t answer[CSDK_ANSWER_MAX];
        int32_t received = 0;   // anew before every request
        const int32_t r = CARD_Get_Info_Cmd(controller_client, command, n, answer, &received);
        if (r != CSDK_OK || received != 512) {
            const std::string why = r != CSDK_OK ? CSDK_LastError(controller_client)
                                                 : "answered " + std::to_string(received) + " bytes of 512";
            char text[400];
            format_text(text, sizeof text,
                        "card %s: flash read stopped at 0x%x (%s); spi_data.bin is kept and nothing is replayed",
                        CSDK_Address(controller_client), flash_window_start + offset, why.c_str());
            set_status(text);
            return;
        }
        image.insert(image.end(), answer, answer + received);
    }
    std::string err;
    if (!platform_write_file_atomic(data_paths.spi_data, image.data(), image.size(), &err)) {
        set_status(("card: cannot keep the card's flash: " + err + "; nothing is replayed").c_str());
        return;
    }
    replay_stored_script();
}

namespace {
bool told_sync_off = false;
}

void reset_card_link() {
    font_warning.clear();
    stop_live_sender();
    CSDK_Reset();
    controller_client = 0;
    told_sync_off = false;
}

void send_scene_live(int) {
    if (!controller_client) {
        // No card configured: said once, not at every click.
        if (!told_sync_off)
            set_status("card: not sent live (no card: Syc_Enable=0 in SysCfg.ini)");
        told_sync_off = true;
        return;
    }
    settle_scene_positions();
    font_warning = check_scene_fonts();
    if (!font_warning.empty()) set_status(font_warning.c_str());
    start_live_sender(controller_client);
    submit_live_lines(live_scene_lines(live_pacing != 0));
}

bool show_live_status() {
    std::string message;
    bool to_stderr = false;
    if (!take_live_status(&message, &to_stderr)) return false;
    if (to_stderr) {
        // The end of a send keeps the font check's finding on the line.
        if (!font_warning.empty()) message += "; " + font_warning;
        set_status(message.c_str());
    }
    else
        show_status(message.c_str());
    return true;
}
