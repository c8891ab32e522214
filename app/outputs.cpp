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

std::vector<Live_card> make_live_cards(const Config& config, int32_t first_client, const std::string& to,
                                       std::vector<std::string>* bad) {
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
            add("RemotIP", config.remote_ip);
    }
    for (int i = 0; i < config.card_count; ++i)
        if (all || to == config.cards[i].name) add(config.cards[i].name, config.cards[i].address);
    if (!all && cards.empty() && bad->empty()) add(to.c_str(), to.c_str());   // an address of its own
    return cards;
}

void refresh_text_files(Text_files& texts, const Program_paths& paths) {
    texts.folder = paths.scene_folder;
    texts.read();
}

void render_scene_leds(Bitmap_fonts& fonts, const Scene& scene, const Text_files& texts, Led_framebuffer& screen) {
    paint_sign(fonts, scene, screen, texts);
}

Export_outcome export_scene(Bitmap_fonts& fonts, const Scene& scene, const Config& config, const Program_paths& paths,
                            Text_files& texts, Status_line& status) {
    refresh_text_files(texts, paths);
    const std::string gaps = check_scene_for_card(fonts, scene, texts);
    Export_outcome o = export_to_drive(scene, config.export_folder, paths.scene_folder);
    if (!gaps.empty()) o.message += "; " + gaps;
    o.written ? status.set_status(o.message.c_str()) : status.set_failure(o.message.c_str());
    return o;
}

namespace {

// The whole read within this many milliseconds, whatever the card does.
constexpr long sync_deadline_ms = 3000;

void read_flash_window(Sync_read* read, int32_t client) {
    Sync_read& sync_read = *read;
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

void start_sync_from_card(Card_link& link, const Config& config, Status_line& status, const Scene& scene) {
    InitSdk(1, 2);
    link.client = CreateClient(config.remote_ip, CSDK_DEFAULT_PORT, 254, 0, 0, 0);
    if (!link.client) {
        link.no_card_reason = std::string("RemotIP ") + config.remote_ip + " in SysCfg.ini is not an address";
        status.set_failure(("card: " + link.no_card_reason + "; the card's scene is not read").c_str());
        return;
    }
    std::vector<std::string> bad;
    link.cards = make_live_cards(config, link.client, "all", &bad);
    for (const std::string& b : bad) status.set_failure(("card: [Cards] " + b + "; not sent to").c_str());
    link.sender.start(link.cards);
    Sync_read& sync_read = link.sync;
    if (sync_read.running) return;
    if (!sync_read.scene_at_start) sync_read.scene_at_start.reset(new Scene);
    *sync_read.scene_at_start = scene;
    sync_read.running = true;
    sync_read.done = false;
    sync_read.stop = false;
    status.show_status("reading the card's scene…");
    // Whatever way the program ends (a quit, a failed start, exit from
    // anywhere), the read is stopped and its thread joined when the link
    // goes (~Card_link): a thread still joinable then would abort the
    // program.
    sync_read.thread = std::thread(read_flash_window, &sync_read, link.client);
}

Card_link::~Card_link() {
    stop_sync_from_card(*this);
    stop_broker_send(broker);
}

void stop_sync_from_card(Card_link& link) {
    Sync_read& sync_read = link.sync;
    if (!sync_read.thread.joinable()) return;
    sync_read.stop = true;   // ends after the request on the way (the card link's time-outs bound it)
    sync_read.thread.join();
    sync_read.running = sync_read.done = false;
}

bool sync_in_progress(const Card_link& link) { return link.sync.running; }

bool finish_sync_from_card(Card_link& link, const Program_paths& paths, Status_line& status, Scene& scene,
                           Edit_history& history) {
    Sync_read& sync_read = link.sync;
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
    if (!platform_write_file_atomic(paths.data.spi_data, image.data(), image.size(), &err)) {
        status.set_failure(("card: cannot keep the card's flash: " + err + "; nothing is replayed").c_str());
        return true;
    }
    const int32_t texts = scene.texts_made, rects = scene.shapes_made;
    if (replay_image_onto(scene, *sync_read.scene_at_start, status, image.data(), image.size()) == Header_status::uninitialised) {
        // An erased flash: the local image gets the default header, as at
        // any replay of it.
        replay_stored_script(scene, status, paths.data.spi_data);
    }
    // The card's scene is where editing starts: not a step to undo.
    start_editor_history(history, status, scene);
    status.set_status(("card " + std::string(CSDK_Address(link.client)) + ": its scene is read (" +
                std::to_string(scene.texts_made - texts) + " texts and " + std::to_string(scene.shapes_made - rects) +
                " rectangles added)")
                   .c_str());
    return true;
}

void sync_from_card(Card_link& link, const Config& config, const Program_paths& paths, Status_line& status,
                    Scene& scene, Edit_history& history) {
    start_sync_from_card(link, config, status, scene);
    if (!sync_in_progress(link)) return;
    Sync_read& sync_read = link.sync;
    {
        std::unique_lock<std::mutex> g(sync_read.lock);
        sync_read.ended.wait(g, [&sync_read] { return sync_read.done; });
    }
    finish_sync_from_card(link, paths, status, scene, history);
}

void reset_card_link(Card_link& link) {
    Sync_read& sync_read = link.sync;
    if (sync_read.thread.joinable()) sync_read.thread.join();
    sync_read.running = sync_read.done = false;
    link.font_warning.clear();
    link.sender.stop();
    stop_broker_send(link.broker);
    CSDK_Reset();
    link.client = 0;
    link.cards.clear();
    link.told_sync_off = false;
    link.no_card_reason = "no card: Syc_Enable=0 in SysCfg.ini";
    link.told_modules = false;
}

namespace {
class Script_text final : public Script_out {
public:
    void line(const char* bytes, size_t n, const Line_info&) override { text.append(bytes, n); }
    std::string text;
};
}  // namespace

void send_scene_live(Card_link& link, Bitmap_fonts& fonts, const Config& config, const Program_paths& paths,
                     Text_files& texts, Status_line& status, const Scene& scene) {
    if (config.broker.host[0]) {
        // Through the broker as well: the stick's script, digit modules included.
        refresh_text_files(texts, paths);
        Script_text script;
        write_scene_script(scene, script, texts, Line_style::script);
        broker_send(link.broker, config.broker, script.text);
        if (!link.client) return;
    }
    if (!link.client) {
        // No card configured: said once, not at every click.
        if (!link.told_sync_off)
            status.note_status(("card: not sent live (" + link.no_card_reason + ")").c_str());
        link.told_sync_off = true;
        return;
    }
    refresh_text_files(texts, paths);
    link.font_warning = check_scene_for_card(fonts, scene, texts);
    if (!link.font_warning.empty()) status.note_status(link.font_warning.c_str());
    if (!link.told_modules && digit_modules_on_sign(scene) > 0) {
        // Said once: modules are loaded by the card from the stick only.
        link.told_modules = true;
        status.note_status("card: digit modules are not sent live; they go to the card by the USB stick (下载数据到u盘)");
    }
    if (link.cards.empty() || link.cards[0].client != link.client) {
        // The handle was made elsewhere (a test's own): the fleet around it.
        std::vector<std::string> bad;
        link.cards = make_live_cards(config, link.client, "all", &bad);
    }
    link.sender.start(link.cards);
    link.sender.submit(live_scene_lines(scene, config.live_pacing != 0, texts));
}

bool show_live_status(Card_link& link, Status_line& status) {
    std::string message;
    bool to_stderr = false, failed = false;
    if (take_broker_status(link.broker, &message, &failed)) {
        if (message.size() >= 3 && message.compare(message.size() - 3, 3, "…") == 0)
            status.show_status(message.c_str());   // progress
        else
            failed ? status.set_failure(message.c_str()) : status.set_status(message.c_str());
        return true;
    }
    if (!link.sender.take_status(&message, &to_stderr, &failed)) return false;
    if (to_stderr) {
        // The end of a send keeps the font check's finding on the line.
        if (!link.font_warning.empty()) message += "; " + link.font_warning;
        failed ? status.set_failure(message.c_str()) : status.set_status(message.c_str());
    }
    else
        status.show_status(message.c_str());
    return true;
}
