#include "app/outputs.h"

#include <algorithm>
#include <thread>
#include <mutex>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <string>
#include <vector>

#include "app/broker_send.h"
#include "app/config.h"
#include "app/startup.h"
#include "command/flash_image.h"
#include "command/replay.h"
#include "controller/font_check.h"
#include "controller/live_send.h"
#include "controller/sign_picture.h"
#include "csdk/csdk.h"
#include "platform/platform.h"
#include "render/bitmap_font.h"
#include "render/shapes.h"
#include "scene/pools.h"
#include "scene/status_line.h"
#include "ui/edit_steps.h"
#include "scene/view_state.h"

namespace {
Text_files text_files;
// The cards the live send goes to: RemotIP's first, then [Cards].
std::vector<Live_card> live_cards;
}

std::vector<Live_card> make_live_cards(int32_t first_client, const std::string& to, std::vector<std::string>* bad) {
    std::vector<Live_card> cards;
    auto add = [&](const char* name, const char* address) {
        const int32_t h = CreateClient(address, CSDK_DEFAULT_PORT, 254, 0, 0, 0);
        if (h)
            cards.push_back(Live_card{name, h});
        else
            bad->push_back(std::string(name) + " " + address + ": not an address");
    };
    const bool all = to.empty() || to == "all";
    if (all || to == "RemotIP") {
        if (first_client)
            cards.push_back(Live_card{"RemotIP", first_client});
        else
            add("RemotIP", remote_ip);
    }
    for (int i = 0; i < config_card_count; ++i)
        if (all || to == config_cards[i].name) add(config_cards[i].name, config_cards[i].address);
    if (!all && cards.empty() && bad->empty()) add(to.c_str(), to.c_str());   // an address of its own
    return cards;
}

const Text_files& scene_text_files() { return text_files; }

void refresh_text_files() {
    text_files.folder = scene_folder;
    text_files.read();
}

void render_scene_leds(Bitmap_fonts& fonts, const Scene& scene, Led_framebuffer& screen) {
    paint_sign(fonts, scene, screen, text_files);
}

namespace {
// The font check's finding for the send in progress, said again with its end.
std::string font_warning;
}

Export_outcome export_scene(Bitmap_fonts& fonts, const Scene& scene, Status_line& status) {
    refresh_text_files();
    const std::string gaps = check_scene_for_card(fonts, scene, text_files);
    Export_outcome o = export_to_drive(scene, export_folder, scene_folder);
    if (!gaps.empty()) o.message += "; " + gaps;
    if (o.written)
        status.set_status(o.message.c_str());
    else
        status.set_failure(o.message.c_str());
    return o;
}

int32_t controller_client = 0;

namespace {
// Why no card gets the live send, said once: sync off, or an address that
// cannot be a card's.
std::string no_card_reason = "no card: Syc_Enable=0 in SysCfg.ini";
}

namespace {

// The read of the card's flash window, off the main thread. The thread
// touches no scene: it only talks to the card and keeps the bytes.
struct Sync_read {
    std::thread thread;
    std::mutex lock;
    std::condition_variable ended;
    bool running = false, done = false;
    std::atomic<bool> stop{false};   // the program ends: no further request
    bool stopped_at_exit = false;    // stop_sync_from_card is registered to run at exit
    std::vector<uint8_t> image;   // 64 KiB of zeros, then the window as read
    std::string failure;          // empty: the window was read whole
};
Sync_read sync_read;

// The scene as it was when the read began, for the replay (see
// replay_image_onto). Static: a Scene is about 800 KB.
Scene startup_scene_copy;

// The whole read within this many milliseconds, whatever the card does.
constexpr long sync_deadline_ms = 3000;

void read_flash_window(int32_t client) {
    std::vector<uint8_t> image(flash_window_start, 0);
    image.reserve(flash_window_end);
    std::string failure;
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t offset = 0; offset < flash_window_end - flash_window_start; offset += 512) {
        const long spent = static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        std::string why;
        if (sync_read.stop) {
            why = "the editor was closed";
        } else if (spent >= sync_deadline_ms) {
            why = "the card's answers took over " + std::to_string(sync_deadline_ms / 1000) + " s";
        } else {
            char command[300];
            const int n = format_text(command, sizeof command, "file read_raw 0x%x %d \n", flash_window_start + offset, 512);
            uint8_t answer[CSDK_ANSWER_MAX];
            int32_t received = 0;   // anew before every request
            const int32_t r = CARD_Get_Info_Cmd(client, command, n, answer, &received);
            if (r == CSDK_OK && received == 512) {
                image.insert(image.end(), answer, answer + received);
                continue;
            }
            why = r != CSDK_OK ? CSDK_LastError(client) : "answered " + std::to_string(received) + " bytes of 512";
        }
        char text[400];
        format_text(text, sizeof text,
                    "card %s: flash read stopped at 0x%x (%s); spi_data.bin is kept and nothing is replayed",
                    CSDK_Address(client), flash_window_start + offset, why.c_str());
        failure = text;
        break;
    }
    {
        std::lock_guard<std::mutex> g(sync_read.lock);
        sync_read.image = std::move(image);
        sync_read.failure = std::move(failure);
        sync_read.done = true;
        sync_read.ended.notify_all();
    }
    platform_wake_main();   // the window applies the card's scene now
}

}  // namespace

void start_sync_from_card(Live_sender& sender, Status_line& status, const Scene& scene) {
    InitSdk(1, 2);
    controller_client = CreateClient(remote_ip, CSDK_DEFAULT_PORT, 254, 0, 0, 0);
    if (!controller_client) {
        no_card_reason = std::string("RemotIP ") + remote_ip + " in SysCfg.ini is not an address";
        status.set_failure(("card: " + no_card_reason + "; the card's scene is not read").c_str());
        return;
    }
    std::vector<std::string> bad;
    live_cards = make_live_cards(controller_client, "all", &bad);
    for (const std::string& b : bad) status.set_failure(("card: [Cards] " + b + "; not sent to").c_str());
    sender.start(live_cards);
    if (sync_read.running) return;
    startup_scene_copy = scene;
    sync_read.running = true;
    sync_read.done = false;
    sync_read.stop = false;
    status.show_status("reading the card's scene…");
    sync_read.thread = std::thread(read_flash_window, controller_client);
    // Whatever way the program ends (a quit, a failed start, exit from
    // anywhere), the read is stopped and its thread joined first: a
    // thread still joinable when the statics go would abort the program.
    if (!sync_read.stopped_at_exit) {
        sync_read.stopped_at_exit = true;
        std::atexit(stop_sync_from_card);
    }
}

void stop_sync_from_card() {
    if (!sync_read.thread.joinable()) return;
    sync_read.stop = true;   // ends after the request on the way (the card link's time-outs bound it)
    sync_read.thread.join();
    sync_read.running = sync_read.done = false;
}

bool sync_in_progress() { return sync_read.running; }

bool finish_sync_from_card(Status_line& status, Scene& scene, Edit_history& history) {
    if (!sync_read.running) return false;
    std::vector<uint8_t> image;
    std::string failure;
    {
        std::lock_guard<std::mutex> g(sync_read.lock);
        if (!sync_read.done) return false;
        image.swap(sync_read.image);
        failure.swap(sync_read.failure);
    }
    sync_read.thread.join();
    sync_read.running = false;
    if (!failure.empty()) {
        status.set_failure(failure.c_str());
        return true;
    }
    std::string err;
    if (!platform_write_file_atomic(data_paths.spi_data, image.data(), image.size(), &err)) {
        status.set_failure(("card: cannot keep the card's flash: " + err + "; nothing is replayed").c_str());
        return true;
    }
    const int32_t texts = scene.texts_made, rects = scene.shapes_made;
    if (replay_image_onto(scene, startup_scene_copy, status, image.data(), image.size()) == Header_status::uninitialised) {
        // An erased flash: the local image gets the default header, as at
        // any replay of it.
        replay_stored_script(scene, status, data_paths.spi_data);
    }
    // The card's scene is where editing starts: not a step to undo.
    start_editor_history(history, status, scene);
    status.set_status(("card " + std::string(CSDK_Address(controller_client)) + ": its scene is read (" +
                std::to_string(scene.texts_made - texts) + " texts and " + std::to_string(scene.shapes_made - rects) +
                " rectangles added)")
                   .c_str());
    return true;
}

void sync_from_card(Live_sender& sender, Status_line& status, Scene& scene, Edit_history& history) {
    start_sync_from_card(sender, status, scene);
    if (!sync_in_progress()) return;
    {
        std::unique_lock<std::mutex> g(sync_read.lock);
        sync_read.ended.wait(g, [] { return sync_read.done; });
    }
    finish_sync_from_card(status, scene, history);
}

namespace {
bool told_sync_off = false;
bool told_modules = false;   // said once a run that digit modules stay off the live send
}

void reset_card_link(Live_sender& sender) {
    if (sync_read.thread.joinable()) sync_read.thread.join();
    sync_read.running = sync_read.done = false;
    font_warning.clear();
    sender.stop();
    stop_broker_send();
    CSDK_Reset();
    controller_client = 0;
    live_cards.clear();
    told_sync_off = false;
    no_card_reason = "no card: Syc_Enable=0 in SysCfg.ini";
    told_modules = false;
    text_files = Text_files{};
}

namespace {
class Script_text final : public Script_out {
public:
    void line(const char* bytes, size_t n, const Line_info&) override { text.append(bytes, n); }
    std::string text;
};
}  // namespace

void send_scene_live(Live_sender& sender, Bitmap_fonts& fonts, Status_line& status, const Scene& scene) {
    if (config_broker.host[0]) {
        // Through the broker as well: the stick's script, digit modules included.
        refresh_text_files();
        Script_text script;
        write_scene_script(scene, script, text_files, Line_style::script);
        broker_send(script.text);
        if (!controller_client) return;
    }
    if (!controller_client) {
        // No card configured: said once, not at every click.
        if (!told_sync_off)
            status.note_status(("card: not sent live (" + no_card_reason + ")").c_str());
        told_sync_off = true;
        return;
    }
    refresh_text_files();
    font_warning = check_scene_for_card(fonts, scene, text_files);
    if (!font_warning.empty()) status.note_status(font_warning.c_str());
    if (!told_modules && digit_modules_on_sign(scene) > 0) {
        // Said once: modules are loaded by the card from the stick only.
        told_modules = true;
        status.note_status("card: digit modules are not sent live; they go to the card by the USB stick (下载数据到u盘)");
    }
    if (live_cards.empty() || live_cards[0].client != controller_client) {
        // The handle was made elsewhere (a test's own): the fleet around it.
        std::vector<std::string> bad;
        live_cards = make_live_cards(controller_client, "all", &bad);
    }
    sender.start(live_cards);
    sender.submit(live_scene_lines(scene, live_pacing != 0, text_files));
}

bool show_live_status(Live_sender& sender, Status_line& status) {
    std::string message;
    bool to_stderr = false, failed = false;
    if (take_broker_status(&message, &failed)) {
        if (message.size() >= 3 && message.compare(message.size() - 3, 3, "…") == 0)
            status.show_status(message.c_str());   // progress
        else
            failed ? status.set_failure(message.c_str()) : status.set_status(message.c_str());
        return true;
    }
    if (!sender.take_status(&message, &to_stderr, &failed)) return false;
    if (to_stderr) {
        // The end of a send keeps the font check's finding on the line.
        if (!font_warning.empty()) message += "; " + font_warning;
        failed ? status.set_failure(message.c_str()) : status.set_status(message.c_str());
    }
    else
        status.show_status(message.c_str());
    return true;
}
