#include "app/config.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>
#include <cstring>

#include "platform/platform.h"
#include "scene/status_line.h"

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

// The name=address lines of [Cards] (case-blind section name; blanks
// trimmed; comments and lines without '=' skipped). A name or address too
// long, a repeated name, or more than max_config_cards lines: reported on
// standard error and that line skipped.
static void read_cards(const std::vector<uint8_t>& file, const char* path, Config& config) {
    config.card_count = 0;
    bool in_cards = false;
    size_t i = 0;
    if (file.size() >= 3 && std::memcmp(file.data(), "\xEF\xBB\xBF", 3) == 0) i = 3;
    auto trim = [](std::string t) {
        const char* blanks = " \t\r\v\f";
        const size_t a = t.find_first_not_of(blanks);
        if (a == std::string::npos) return std::string();
        return t.substr(a, t.find_last_not_of(blanks) - a + 1);
    };
    while (i < file.size()) {
        size_t e = i;
        while (e < file.size() && file[e] != '\n') ++e;
        const std::string line = trim(std::string(reinterpret_cast<const char*>(file.data()) + i, e - i));
        i = e + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            const size_t close = line.find(']');
            if (close != std::string::npos) in_cards = strcasecmp(trim(line.substr(1, close - 1)).c_str(), "Cards") == 0;
            continue;
        }
        const size_t eq = line.find('=');
        if (!in_cards || eq == std::string::npos) continue;
        const std::string name = trim(line.substr(0, eq)), address = trim(line.substr(eq + 1));
        bool repeated = false;
        for (int k = 0; k < config.card_count; ++k) repeated |= strcasecmp(config.cards[k].name, name.c_str()) == 0;
        const char* why = name.empty() || name.size() >= card_name_size ? "its name is empty or too long"
                          : address.size() >= config_text_size      ? "its address is too long"
                          : repeated                                ? "the name is taken by an earlier line"
                          : config.card_count == max_config_cards   ? "there are too many cards"
                                                                    : nullptr;
        if (why) {
            std::fprintf(stderr, "config: %s: [Cards] %s: %s; not used\n", path, name.substr(0, 40).c_str(), why);
            continue;
        }
        Config_card& c = config.cards[config.card_count++];
        std::snprintf(c.name, sizeof c.name, "%s", name.c_str());
        std::snprintf(c.address, sizeof c.address, "%s", address.c_str());
    }
}

void read_config(const char* path, Config* out, Status_line& status) {
    Config& config = *out;
    std::vector<uint8_t> head;
    std::string err;
    if (platform_read_file_head(path, static_cast<size_t>(profile_file_limit) + 1, &head, &err) &&
        head.size() > static_cast<size_t>(profile_file_limit))
        status.set_failure((std::string("config: ") + path + " is over " + std::to_string(profile_file_limit >> 10) +
                    " KiB: it is not read, and the defaults stand")
                       .c_str());
    else
        read_cards(head, path, config);
    read_key("RemotIP", "RemotIP", config.remote_ip, path);
    read_board_size("WIDTH", config.width, path);
    read_board_size("HEIGHT", config.height, path);
    read_key("NetSyc", "Syc_Enable", config.sync, path);
    config.sync_enabled = leading_decimal(config.sync);
    char pacing[32];
    platform_read_profile_string("LiveSend", "Pacing", "1", pacing, sizeof pacing, path);
    config.live_pacing = leading_decimal(pacing) != 0;
    platform_read_profile_string("Broker", "Host", "", config.broker.host, sizeof config.broker.host, path);
    platform_read_profile_string("Broker", "To", "all", config.broker.to, sizeof config.broker.to, path);
    platform_read_profile_string("Broker", "User", "", config.broker.user, sizeof config.broker.user, path);
    platform_read_profile_string("Broker", "PasswordFile", "", config.broker.password_file,
                                 sizeof config.broker.password_file, path);
    platform_read_profile_string("Broker", "CAFile", "", config.broker.cafile, sizeof config.broker.cafile, path);
    char wait[32];
    platform_read_profile_string("Broker", "Wait", "5000", wait, sizeof wait, path);
    config.broker.wait_ms = std::max(100, std::min(600000, static_cast<int>(leading_decimal(wait))));
    bool cut = false;
    platform_read_profile_string("Export", "Folder", "", config.export_folder, sizeof config.export_folder, path, &cut);
    if (cut) {
        std::fprintf(stderr, "config: %s: [Export] Folder is longer than %zu characters; it is not used\n",
                     path, sizeof config.export_folder - 1);
        config.export_folder[0] = '\0';
    }
}
