// What leaves the editor for the card, seen from the application: the
// scene as the card would show it, and the toolbar's export with its
// outcome on the status line.
#pragma once

#include "controller/drive_export.h"
#include "render/led_framebuffer.h"

// Every record's place as the next frame would settle it (the position
// step of the draws), so outputs made without a frame see what the
// editor shows.
void settle_scene_positions();

// Draws the scene's LED dots as a frame with nothing selected would (no
// outlines, labels, carets or overlays) into screen, one LED per unit. The
// scene is the elements placed on a board in use (the ones the outputs
// carry); palette copies that reach over a board are not on the sign. A
// dot the editor lights on board U at grid row r and column c lands on
// LED ((x - U.x) / p + c * W, (y - U.y) / p + r * H). Dots on no board in
// use are dropped. screen is cleared first.
void render_scene_leds(Led_framebuffer& screen);

// The download entry: writes the ledsys tree onto the removable drive (or
// into [Export] Folder) and says on the status line and standard error
// what happened.
Export_outcome export_scene();

// The card's client handle (our csdk), 0 when network sync is off.
extern int32_t controller_client;

// Start-up with sync on: starts the card library, reads the card's flash
// window 0x10000..0x12FFF in 24 requests of 512 bytes into spi_data.bin
// (file offset = flash address, the first 64 KiB zero) and replays the
// stored script. A read that is not whole keeps the previous spi_data.bin,
// replays nothing and says so (status line and standard error). Costs at
// most about one time-out when the card is absent or silent.
void sync_from_card();

// Sends the scene to the card: the lines are taken now (on the main thread)
// and delivered by the sender thread, paced unless [LiveSend] Pacing=0.
// The argument is not used.
void send_scene_live(int);

// The sender stopped, the card library's handles closed, no client.
void reset_card_link();

// Shows what the sender has said since the last call on the status line;
// true when it changed. Called on every pass of the main loop.
bool show_live_status();
