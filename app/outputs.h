// What leaves the editor for the card, seen from the application: the
// scene as the card would show it, and the toolbar's export with its
// outcome on the status line.
#pragma once

#include "controller/drive_export.h"
#include "controller/script_writer.h"
#include "render/led_framebuffer.h"

// The sign as the editor shows it and the card lights it (paint_sign),
// into screen (output_screen_size), one LED per unit.
void render_scene_leds(const Scene& scene, Led_framebuffer& screen);

// The first lines of my_txt3.txt and my_txt4.txt beside the editor, as
// read last (start-up, load, every send and export).
const Text_files& scene_text_files();
void refresh_text_files();

// The download entry: writes the ledsys tree onto the removable drive (or
// into [Export] Folder) and says on the status line and standard error
// what happened.
Export_outcome export_scene(const Scene& scene);

// The card's client handle (our csdk), 0 when network sync is off.
extern int32_t controller_client;

// Start-up with sync on: starts the card library, reads the card's flash
// window 0x10000..0x12FFF in 24 requests of 512 bytes into spi_data.bin
// (file offset = flash address, the first 64 KiB zero) and replays the
// stored script into scene. A read that is not whole keeps the previous spi_data.bin,
// replays nothing and says so (status line and standard error). Costs at
// most about one time-out when the card is absent or silent.
void sync_from_card(Scene& scene);

// Sends the scene to the card: the lines are taken now (on the main thread)
// and delivered by the sender thread, paced unless [LiveSend] Pacing=0.
void send_scene_live(const Scene& scene);

// The sender stopped, the card library's handles closed, no client.
void reset_card_link();

// Shows what the sender has said since the last call on the status line;
// true when it changed. Called on every pass of the main loop.
bool show_live_status();
