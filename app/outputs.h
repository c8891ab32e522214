// What leaves the editor for the card, seen from the application: the
// scene as the card would show it, and the toolbar's export with its
// outcome on the status line.
#pragma once

#include <string>
#include <vector>

#include "controller/live_send.h"

#include "controller/drive_export.h"
#include "controller/script_writer.h"
#include "render/bitmap_font.h"
#include "render/led_framebuffer.h"
#include "scene/edit_history.h"
#include "scene/status_line.h"

// The sign as the editor shows it and the card lights it (paint_sign),
// into screen (output_screen_size), one LED per unit.
void render_scene_leds(Bitmap_fonts& fonts, const Scene& scene, Led_framebuffer& screen);

// The first lines of my_txt3.txt and my_txt4.txt beside the editor, as
// read last (start-up, load, every send and export).
const Text_files& scene_text_files();
void refresh_text_files();

// The download entry: writes the ledsys tree onto the removable drive (or
// into [Export] Folder) and says on the status line and standard error
// what happened.
Export_outcome export_scene(Bitmap_fonts& fonts, const Scene& scene, Status_line& status);

// The card's client handle (our csdk), 0 when network sync is off.
extern int32_t controller_client;

// Start-up with sync on: starts the card library and sender (to every
// card) and, off the main
// thread, reads the card's flash window 0x10000..0x12FFF in 24 requests of
// 512 bytes, all within 3 s; the status line says "reading the card's
// scene…" meanwhile. Returns at once, so the window draws and takes input.
void start_sync_from_card(Live_sender& sender, Status_line& status, const Scene& scene);

// The cards a live send goes to, each with a csdk handle made here (call on
// the main thread): to empty or "all": RemotIP's (first_client when not 0,
// else a new handle for remote_ip) and every [Cards] line; "RemotIP" or a
// [Cards] name: that card; anything else: that address. Addresses that
// cannot be a card's are left out with a line each in *bad.
std::vector<Live_card> make_live_cards(int32_t first_client, const std::string& to, std::vector<std::string>* bad);

// True from start_sync_from_card until its outcome is applied.
// Stops a read of the card that is still running and joins its thread
// (after the request on the way); nothing is replayed. Run at exit.
void stop_sync_from_card();

bool sync_in_progress();

// Called on every pass of the main loop: once the read has ended, applies
// its outcome to scene on the main thread: spi_data.bin (file offset =
// flash address, the first 64 KiB zero) and the replay of its stored
// script, merged with what the operator did meanwhile (replay_image_onto);
// or, when the read is not whole, the previous spi_data.bin kept, nothing
// replayed, and why on the status line. The replayed scene starts history
// afresh (it is not a step to undo). True when it applied something.
bool finish_sync_from_card(Status_line& status, Scene& scene, Edit_history& history);

// The sync at once, waiting for the read (tests and tools).
void sync_from_card(Live_sender& sender, Status_line& status, Scene& scene, Edit_history& history);

// Sends the scene to the card: the lines are taken now (on the main thread)
// and delivered by sender's thread, paced unless [LiveSend] Pacing=0.
void send_scene_live(Live_sender& sender, Bitmap_fonts& fonts, Status_line& status, const Scene& scene);

// sender stopped, the card library's handles closed, no client.
void reset_card_link(Live_sender& sender);

// Shows what sender has said since the last call on status;
// true when it changed. Called on every pass of the main loop.
bool show_live_status(Live_sender& sender, Status_line& status);
