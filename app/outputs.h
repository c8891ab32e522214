// What leaves the editor for the card, seen from the application: the
// scene as the card would show it, and the toolbar's export with its
// outcome on the status line.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/broker_send.h"
#include "app/config.h"
#include "app/program_paths.h"
#include "controller/drive_export.h"
#include "controller/live_send.h"
#include "controller/script_writer.h"
#include "render/bitmap_font.h"
#include "render/led_framebuffer.h"
#include "scene/edit_history.h"
#include "scene/status_line.h"

// The sign as the editor shows it and the card lights it (paint_sign),
// into screen (output_screen_size), one LED per unit, with the text files
// texts and the dot texts from fonts.
void render_scene_leds(Bitmap_fonts& fonts, const Scene& scene, const Text_files& texts, Led_framebuffer& screen);

// The first lines of my_txt3.txt and my_txt4.txt in the scene folder of
// paths, read into texts afresh. main owns the Text_files it reads into:
// they are read at start-up, load, every send and export, and the frame
// draws with them.
void refresh_text_files(Text_files& texts, const Program_paths& paths);

// The download entry: writes the ledsys tree onto the removable drive (or
// into [Export] Folder) and says on status and standard error what
// happened. The texts are checked against fonts. The text files are read afresh first.
Export_outcome export_scene(Bitmap_fonts& fonts, const Scene& scene, const Config& config, const Program_paths& paths,
                            Text_files& texts, Status_line& status);

// The read of the card's flash window at start-up, off the main thread.
// The thread touches no scene: it only talks to the card and keeps the
// bytes.
struct Sync_read {
    std::thread thread;
    std::mutex lock;
    std::condition_variable ended;
    bool running = false, done = false;
    std::atomic<bool> stop{false};   // the program ends: no further request
    std::vector<uint8_t> image;      // 64 KiB of zeros, then the window as read
    std::string failure;             // empty: the window was read whole
    // The scene as it was when the read began, for the replay (see
    // replay_image_onto); made when the read starts (a Scene is about 800 KB).
    std::unique_ptr<Scene> scene_at_start;
};

// The editor's link to its cards: the card library's handle, the live
// sender and the cards a live send goes to, the start-up read of the card, the broker's thread
// and what has been said once. main owns one (vantiro-cli and each test
// their own); it stops the read and the broker's thread when it goes.
struct Card_link {
    Card_link() = default;
    Card_link(const Card_link&) = delete;
    Card_link& operator=(const Card_link&) = delete;
    ~Card_link();

    // The card's client handle (our csdk), 0 when network sync is off.
    int32_t client = 0;
    // The live send's thread; stopped and joined when the link goes.
    Live_sender sender;
    // The cards the live send goes to: RemotIP's first, then [Cards].
    std::vector<Live_card> cards;
    // Why no card gets the live send, said once: sync off, or an address
    // that cannot be a card's.
    std::string no_card_reason = "no card: Syc_Enable=0 in SysCfg.ini";
    bool told_sync_off = false;
    bool told_modules = false;   // said once a run that digit modules stay off the live send
    // The font check's finding for the send in progress, said again with its end.
    std::string font_warning;
    Sync_read sync;
    Broker_sender broker;
};

// Start-up with sync on: starts the card library and the link's sender
// (to every card) and, off the main
// thread, reads the card's flash window 0x10000..0x12FFF in 24 requests of
// 512 bytes, all within 3 s; the status line says "reading the card's
// scene…" meanwhile. Returns at once, so the window draws and takes input.
void start_sync_from_card(Card_link& link, const Config& config, Status_line& status, const Scene& scene);

// The cards a live send goes to, each with a csdk handle made here (call on
// the main thread): to empty or "all": RemotIP's (first_client when not 0,
// else a new handle for config's RemotIP) and every [Cards] line; "RemotIP"
// or a [Cards] name: that card; anything else: that address. Addresses that
// cannot be a card's are left out with a line each in *bad.
std::vector<Live_card> make_live_cards(const Config& config, int32_t first_client, const std::string& to,
                                       std::vector<std::string>* bad);

// Stops a read of the card that is still running and joins its thread
// (after the request on the way); nothing is replayed. Run at exit.
void stop_sync_from_card(Card_link& link);

// True from start_sync_from_card until its outcome is applied.
bool sync_in_progress(const Card_link& link);

// Called on every pass of the main loop: once the read has ended, applies
// its outcome to scene on the main thread: spi_data.bin (file offset =
// flash address, the first 64 KiB zero) and the replay of its stored
// script, merged with what the operator did meanwhile (replay_image_onto);
// or, when the read is not whole, the previous spi_data.bin kept, nothing
// replayed, and why on the status line. The replayed scene starts history
// afresh (it is not a step to undo). True when it applied something.
bool finish_sync_from_card(Card_link& link, const Program_paths& paths, Status_line& status, Scene& scene,
                           Edit_history& history);

// The sync at once, waiting for the read (tests and tools).
void sync_from_card(Card_link& link, const Config& config, const Program_paths& paths, Status_line& status,
                    Scene& scene, Edit_history& history);

// Sends the scene to the card: the lines are taken now (on the main thread)
// and delivered by the link's sender thread, paced unless [LiveSend] Pacing=0.
// The text files are read afresh first; the texts are checked against
// fonts.
void send_scene_live(Card_link& link, Bitmap_fonts& fonts, const Config& config, const Program_paths& paths,
                     Text_files& texts, Status_line& status, const Scene& scene);

// The link as a new one: its sender stopped, the card library's handles
// closed, no client, nothing said yet.
void reset_card_link(Card_link& link);

// Shows what the link's sender and broker thread have said since the last
// call on status;
// true when it changed. Called on every pass of the main loop.
bool show_live_status(Card_link& link, Status_line& status);
