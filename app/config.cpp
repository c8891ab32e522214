#include "app/config.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>
#include <cstring>

#include "platform/platform.h"
#include "scene/status_line.h"

char remote_ip[config_text_size];
char config_width[config_text_size];
char config_height[config_text_size];
char config_sync[config_text_size];
int32_t sync_enabled = 0;
char export_folder[export_folder_size];
int32_t live_pacing = 1;

int32_t leading_decimal(const char* text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (std::isspace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int64_t value = 0;
    while (std::isdigit(*p)) {
        if (value <= INT64_C(1) << 32) value = value * 10 + (*p - '0');
        ++p;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

void clear_config() {
    std::memset(remote_ip, 0, sizeof remote_ip);
    std::memset(config_width, 0, sizeof config_width);
    std::memset(config_height, 0, sizeof config_height);
    std::memset(config_sync, 0, sizeof config_sync);
    std::memset(export_folder, 0, sizeof export_folder);
    live_pacing = 1;
}

static void read_key(const char* section, const char* key, char* out, const char* path) {
    bool cut = false;
    platform_read_profile_string(section, key, "Error", out, config_text_size, path, &cut);
    if (cut) {
        std::fprintf(stderr, "config: %s: value of [%s] %s is longer than %d characters; cut\n",
                     path, section, key, config_text_size - 1);
    }
}

// Reads a board size: its leading decimal held to 0..board_size_max, the
// text rewritten as the number used when it was outside, so every later
// step on the size works within a few bits.
static void read_board_size(const char* key, char* out, const char* path) {
    read_key("LEDPARA", key, out, path);
    const int32_t value = leading_decimal(out);
    if (value >= 0 && value <= board_size_max) return;
    const int32_t held = value < 0 ? 0 : board_size_max;
    std::fprintf(stderr, "config: %s: [LEDPARA] %s %d is outside 0..%d; %d is used\n", path, key,
                 static_cast<int>(value), static_cast<int>(board_size_max), static_cast<int>(held));
    std::snprintf(out, config_text_size, "%d", static_cast<int>(held));
}

void read_config(const char* path) {
    std::vector<uint8_t> head;
    std::string err;
    if (platform_read_file_head(path, static_cast<size_t>(profile_file_limit) + 1, &head, &err) &&
        head.size() > static_cast<size_t>(profile_file_limit))
        set_failure((std::string("config: ") + path + " is over " + std::to_string(profile_file_limit >> 10) +
                    " KiB: it is not read, and the defaults stand")
                       .c_str());
    read_key("RemotIP", "RemotIP", remote_ip, path);
    read_board_size("WIDTH", config_width, path);
    read_board_size("HEIGHT", config_height, path);
    read_key("NetSyc", "Syc_Enable", config_sync, path);
    sync_enabled = leading_decimal(config_sync);
    char pacing[32];
    platform_read_profile_string("LiveSend", "Pacing", "1", pacing, sizeof pacing, path);
    live_pacing = leading_decimal(pacing) != 0;
    bool cut = false;
    platform_read_profile_string("Export", "Folder", "", export_folder, sizeof export_folder, path, &cut);
    if (cut) {
        std::fprintf(stderr, "config: %s: [Export] Folder is longer than %zu characters; it is not used\n",
                     path, sizeof export_folder - 1);
        export_folder[0] = '\0';
    }
}
