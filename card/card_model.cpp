#include "card/card_model.h"

#include <strings.h>

#include <cstring>
#include <vector>

#include "card/led_picture.h"
#include "command/command_value.h"
#include "command/flash_image.h"
#include "command/interpreter.h"
#include "platform/platform.h"
#include "render/bitmap_font.h"
#include "render/shapes.h"
#include "scene/records.h"

namespace {

constexpr int max_tokens = 24;   // the longest line the card knows has 13

// A number as the card reads it: the command language's reader, and a
// leading minus sign (the writers format signed numbers).
int32_t number(const char* text) {
    if (text && text[0] == '-') return static_cast<int32_t>(0u - parse_value(text + 1));
    return static_cast<int32_t>(parse_value(text));
}

}  // namespace

Card_model::Card_model(Bitmap_fonts& fonts, int width, int height) : screen(width, height), fonts_(&fonts) {
    line_[0] = '\0';
}

void Card_model::reset() {
    screen.clear();
    settings = Card_settings{};
    counts = Card_counts{};
}

void for_each_script_line(const uint8_t* bytes, size_t length,
                          void (*line)(void* context, const char* bytes, size_t n), void* context) {
    size_t start = 0;
    for (size_t i = 0; i <= length; ++i) {
        const bool end = i == length || bytes[i] == 0;
        if (end || bytes[i] == '\n') {
            line(context, reinterpret_cast<const char*>(bytes) + start, i - start);
            start = i + 1;
        }
        if (end) break;
    }
}

void Card_model::run_script(const uint8_t* bytes, size_t length) {
    for_each_script_line(
        bytes, length,
        [](void* card, const char* line, size_t n) { static_cast<Card_model*>(card)->run_line(line, n); }, this);
}

bool Card_model::run_line(const char* line, size_t length) {
    if (length > max_line) length = max_line;
    if (length) std::memcpy(line_, line, length);   // an empty script's line may have no bytes at all
    line_[length] = '\0';
    // NUL inside the line ends it; trailing CRs are the line end.
    length = std::strlen(line_);
    while (length > 0 && line_[length - 1] == '\r') line_[--length] = '\0';

    char* tokens[max_tokens];
    // Tokens of any length (a text token may hold up to 511 bytes); tokens
    // after the first max_tokens are dropped.
    const int n = split_tokens(line_, tokens, max_tokens, any_token_length, Extra_tokens::drop);
    if (n == 0) return false;

    bool known = false;
    if (!strcasecmp(tokens[0], "led"))
        known = run_led(n - 1, tokens + 1);
    else if (!strcasecmp(tokens[0], "set"))
        known = run_set(n - 1, tokens + 1);
    else if (!strcasecmp(tokens[0], "insmod"))
        known = run_module(n - 1, tokens + 1);
    else if (!strcasecmp(tokens[0], "file") && n >= 2 && !std::strcmp(tokens[1], "save")) {
        ++settings.saves;
        known = true;
    }
    if (known)
        ++counts.run;
    else
        ++counts.ignored;
    return known;
}

namespace {

// "led txt" on the card: the first line of my_txtN.txt in its TXT folder.
class Folder_txt final : public Txt_lookup {
public:
    explicit Folder_txt(const std::string& folder) : folder_(folder) {}
    bool first_line(int32_t source, const char** bytes, size_t* n) override {
        if (folder_.empty()) return false;
        char path[1200];
        if (format_text(path, sizeof path, "%s/my_txt%d.txt", folder_.c_str(), source) < 0) return false;
        std::vector<uint8_t> file;
        std::string err;
        if (!platform_read_file_head(path, 4096, &file, &err)) return false;
        line_.assign(file.begin(), file.begin() + static_cast<long>(first_text_line(file.data(), file.size())));
        *bytes = line_.data();
        *n = line_.size();
        return true;
    }

private:
    const std::string& folder_;
    std::string line_;
};

}  // namespace

bool Card_model::run_led(int argc, char** argv) {
    Command_value v = parse_command_arguments(Command_word::led, argc, argv, "");
    // Signed numbers where the line has a minus sign.
    for (int i = 0; i < v.count && i + 1 < argc; ++i)
        if (argv[i + 1][0] == '-') v.number[i] = static_cast<uint32_t>(number(argv[i + 1]));
    Folder_txt txt(txt_folder_);
    return paint_command(*fonts_, screen, v, &txt);
}

int Card_model::run_stored(const uint8_t* image, size_t size) {
    Command_header header;
    if (read_command_header(image, size, &header) != Header_status::ok) return 0;
    int run = 0;
    for (uint32_t k = 0; k < header.present; ++k) {
        const Command_entry& e = header.entries[k];
        const uint8_t* data = e.enabled ? command_entry_data(image, size, e) : nullptr;
        if (!data) continue;
        char entry[max_command_data + 1];
        std::memcpy(entry, data, static_cast<size_t>(e.size));
        entry[e.size] = '\0';
        const char* feed = std::strchr(entry, '\n');
        // A stored text: its line, a line feed and the text with its blanks.
        Command_value v;
        char line[max_command_data + 1];
        std::memcpy(line, entry, sizeof line);
        if (feed && parse_command_line(line, &v) && v.command == Command_word::file && v.verb == Verb::text) {
            paint_text_runs(*fonts_, screen, v.font_height, static_cast<uint8_t>(v.number[0]),
                            static_cast<int32_t>(v.number[1]), static_cast<int32_t>(v.number[2]), v.text,
                            v.text_length);
            ++counts.run;
        } else {
            run_line(entry, feed ? static_cast<size_t>(feed - entry) : std::strlen(entry));
        }
        ++run;
    }
    return run;
}

bool Card_model::run_set(int argc, char** argv) {
    if (argc < 1) return false;
    const char* what = argv[0];
    auto arg = [&](int i) { return i < argc ? number(argv[i]) : 0; };
    if (!std::strcmp(what, "time")) {
        for (int i = 0; i < 6; ++i) settings.time[i] = arg(i + 1);
        settings.time_set = true;
    } else if (!std::strcmp(what, "ld")) {
        settings.brightness = arg(1);
    } else if (!std::strcmp(what, "pl")) {
        settings.pl = arg(1);
    } else if (!std::strcmp(what, "soft")) {
        settings.soft_width = arg(1);
        settings.soft_height = arg(2);
    } else if (!std::strcmp(what, "chrct")) {
        std::snprintf(settings.chrct, sizeof settings.chrct, "%s", argc > 1 ? argv[1] : "");
    } else {
        return false;
    }
    return true;
}

// insmod NUMBER CLASS led key COLOUR X Y TYPE DIGITS A B 1
bool Card_model::run_module(int argc, char** argv) {
    Module_value m;
    if (!parse_module_arguments(argc, argv, &m)) return false;
    paint_module(screen, m);
    return true;
}
