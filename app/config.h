// SysCfg.ini: the operator's configuration beside the executable.
//   [RemotIP]  RemotIP     address of the controller card
//   [LEDPARA]  WIDTH       width of unit board 0 in dots
//              HEIGHT      height of unit board 0 in dots
//   [NetSyc]   Syc_Enable  non-zero: copy the card's flash and replay it at start
//   [LiveSend] Pacing      0: send live lines without the waits between them
//                          (fast cards, the simulator); 1 (default): with them
//   [Cards]    NAME=ADDRESS more cards that every live send goes to as well
//              (RemotIP stays the first, and the one the start-up sync reads)
//   [Broker]   Host        HOST[:PORT]: live sends are published to the signs
//                          through this MQTT broker (docs/fleet.md) as well
//              To          NAME, group:G or all (default all)
//              User, PasswordFile, CAFile   login and TLS (optional)
//              Wait        ms to count the signs that confirm (default 5000)
//   [Export]   Folder      a folder the download entry writes the ledsys tree
//                          into instead of the removable drive (optional)
// A missing file, section or key reads as the text "Error" (so 0 as a number).
#pragma once

#include <cstdint>

#include "scene/status_line.h"

constexpr int config_text_size = 260;

// The [Cards] section, in file order: fixed pools, no allocation.
constexpr int max_config_cards = 64;
constexpr int card_name_size = 64;
struct Config_card {
    char name[card_name_size];
    char address[config_text_size];
};

// [Broker]; host empty: no broker.
struct Config_broker {
    char host[config_text_size], to[config_text_size], user[config_text_size];
    char password_file[config_text_size], cafile[config_text_size];
    int32_t wait_ms;
};

constexpr int export_folder_size = 1024;

// SysCfg.ini as read at start-up (read_config); a value-initialised Config
// is the one before any file is read. Owned by main (the editor's,
// vantiro-cli's, each test's) and handed to what reads it: start-up, the
// export, the live send and the broker's thread.
struct Config {
    // The four configuration texts, as read (WIDTH and HEIGHT held to range).
    char remote_ip[config_text_size] = {};
    char width[config_text_size] = {};
    char height[config_text_size] = {};
    char sync[config_text_size] = {};

    int32_t sync_enabled = 0;   // leading decimal of sync
    int32_t live_pacing = 1;    // [LiveSend] Pacing; 1 when missing
    char export_folder[export_folder_size] = {};   // empty: the removable drive

    Config_card cards[max_config_cards] = {};
    int card_count = 0;

    Config_broker broker = {};
};

// Leading-decimal conversion: optional blanks and sign, then digits up to the
// first other character; no digits gives 0. Clamped to the 32-bit range.
int32_t leading_decimal(const char* text);

// Largest board width or height in dots that the configuration gives.
constexpr int32_t board_size_max = 65535;

// Reads the file at path into *config: the four keys in the order RemotIP,
// WIDTH, HEIGHT, Syc_Enable, sync_enabled, then [Cards], [LiveSend],
// [Broker] and [Export]. A value too long for its
// buffer is cut and reported on standard error. A WIDTH or HEIGHT whose
// leading decimal lies outside 0..board_size_max is reported on standard
// error, and its text becomes the nearest end of that range. A file too
// large to be read is a failure on status.
void read_config(const char* path, Config* config, Status_line& status);
