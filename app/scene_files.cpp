// [SECTION] The files
//
// digit.conf, leduit.conf, string.conf, grape.conf: decimal numbers, one per
// line. Each file starts with the bytes CR CR LF and every number is
// followed by CR CR LF:
//   digit.conf   group 0, records 0..99: x, y, width, height, param_a,
//                digits, colour (7 lines a record)
//   leduit.conf  board_columns, board_rows, then x, y, width, height of
//                every board in use, row by row
//   string.conf  texts 0..39: x, y, width, height, colour (5 lines a record)
//   grape.conf   graph_count, then x, y, width, height, in_use of each
//                rectangle in use
// The loader gives every group 0..19 the records saved from group 0.
//
// scene.conf: what the four cannot hold, so that a scene comes back exactly:
// typed texts, shapes of every group, counters. Plain text, one record a
// line, fields separated by blanks, numbers in decimal:
//   vantiro-scene 1
//   view    dot_pitch
//   counts  text_count rect_count graph_count board_columns board_rows export_columns
//   menu    brightness_level panel_type
//   board   row col x y width height                              (24 lines)
//   text    index slot x y pitch font_size text_source enabled width height
//           colour length bold_flag bytes                         (40 lines)
//           bytes: the 512-byte text field in hex, trailing zero bytes
//           left out ("-" when all are zero)
//   digit   group index enabled id pitch x y width height spare_word param_a
//           param_b digits colour spare_byte type_code kind       (2,000 lines:
//           groups 0..19)
//   graph   index x y width height in_use    (each record below graph_count
//                                             or in use)
//   files   digit leduit string grape         checksums of the four files it
//           was written with: 16 hex digits each, FNV-1a (64 bits) of the
//           file's bytes followed by its length (8 bytes, least significant
//           first); a missing file is empty. One line, two while a save is
//           under way (see Saving); none in files written before it existed.
//   end
// It is applied after the four, over everything they set, unless one of
// the four now differs from every checksum recorded for it: edited by hand
// or written by another tool, the four files are newer and give the scene
// alone. A file the loader cannot use (unreadable or refused) is not
// compared: its edit could not be shown anyway. A scene.conf that is
// incomplete or malformed is ignored whole, and the four files alone give
// the scene, as they do for scenes saved before scene.conf existed.
//
// [SECTION] Damaged files
// A scene file the loader refuses for its content is first copied to
// NAME.bad-YYYYMMDD-HHMMSS (local time) beside it, because the next save
// replaces it; scene.conf may hold typed texts nothing else has. The status
// line names the copy. Not damaged: a grape.conf beyond the reader's limits
// (over 139 rectangles) that scene.conf records as written with it.
//
// [SECTION] Saving
// Every file is replaced atomically (platform_write_file_atomic): after a
// crash each file is either the whole old one or the whole new one. The
// order keeps a save that is cut short loading as the previous scene:
// first the scene.conf on disk, when it holds for the four files on disk,
// gets a second files line with the checksums of the new four (its scene
// unchanged), so that it still holds whichever of them are replaced when
// the save stops; then the four files are replaced; last comes the new
// scene.conf, with the new checksums alone.

#include "app/scene_files.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "app/config.h"
#include "app/outputs.h"
#include "app/startup.h"
#include "platform/platform.h"
#include "scene/pools.h"
#include "scene/view_state.h"
#include "scene/status_line.h"

namespace {

char line_table[scene_line_slots][scene_line_size];

// [SECTION] Reading the four files

void report(const std::string& message) { std::fprintf(stderr, "scene: %s\n", message.c_str()); }

// File name of a data path, for messages.
const char* base_name(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// The four files, in the order of their checksums in scene.conf.
constexpr int four_files = 4;
const char* four_file_path(int k) {
    const char* const paths[four_files] = {data_paths.digit_conf, data_paths.leduit_conf,
                                           data_paths.string_conf, data_paths.grape_conf};
    return paths[k];
}

enum class Read { ok, missing, unreadable, refused };

// Reads the file at path into lines (the rules of read_lines): *count gets
// the number of lines; otherwise why says what is wrong, without the path.
// refused: readable, but breaks the limits.
Read read_table(const char* path, char (*lines)[scene_line_size], int* count, std::string* why) {
    static std::vector<uint8_t> file;   // kept: its room is reused at every load
    std::string err;
    if (!platform_read_file_head(path, scene_file_limit + 1, &file, &err)) {
        const int e = errno;
        *why = e == EISDIR ? "a folder, not a file" : e == EINVAL ? "not a regular file" : std::strerror(e);
        return e == ENOENT ? Read::missing : Read::unreadable;
    }
    const char* buffer = reinterpret_cast<const char*>(file.data());
    const size_t size = file.size();
    if (size > scene_file_limit) {
        *why = "over " + std::to_string(scene_file_limit) + " bytes";
        return Read::refused;
    }
    int n = 0, column = 0;
    for (size_t i = 0; i < size; ++i) {
        const char b = buffer[i];
        if (b == '\r' || b == '\n') {
            column = 0;
            continue;
        }
        if (column == 0) {
            if (n == scene_line_slots) {
                *why = "over " + std::to_string(scene_line_slots) + " lines";
                return Read::refused;
            }
            std::memset(lines[n++], 0, scene_line_size);
        }
        if (column == scene_line_size - 1) {
            *why = "line " + std::to_string(n) + " is over " + std::to_string(scene_line_size - 1) +
                   " characters";
            return Read::refused;
        }
        lines[n - 1][column++] = b;
    }
    *count = n;
    return Read::ok;
}

// Value of line n of a table of count lines, or keep when it is missing.
int32_t value(int n, int count, int32_t keep) {
    return n < count ? leading_decimal(line_table[n]) : keep;
}

int32_t clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

void load_digits(Scene& scene, int count) {
    for (int g = 0; g < digit_groups_in_use; ++g) {
        for (int i = 0; i < digit_group_size; ++i) {
            Digit_unit& d = scene.digit_at(g, i);
            const int n = 7 * i;
            d.x = static_cast<uint32_t>(value(n, count, static_cast<int32_t>(d.x)));
            d.y = static_cast<uint32_t>(value(n + 1, count, static_cast<int32_t>(d.y)));
            d.width = value(n + 2, count, d.width);
            d.height = value(n + 3, count, d.height);
            d.param_a = value(n + 4, count, d.param_a);
            d.digits = value(n + 5, count, d.digits);
            d.colour = static_cast<uint8_t>(value(n + 6, count, d.colour));
        }
    }
}

void load_boards(Scene& scene, int count) {
    scene.board_columns = clamp(value(0, count, scene.board_columns), 0, max_board_columns);
    scene.board_rows = clamp(value(1, count, scene.board_rows), 0, max_board_rows);
    for (int r = 0; r < scene.board_rows; ++r) {
        for (int c = 0; c < scene.board_columns; ++c) {
            led_unit& b = scene.board_at(r, c);
            const int n = 2 + 4 * (r * scene.board_columns + c);
            b.x = value(n, count, b.x);
            b.y = value(n + 1, count, b.y);
            b.width = value(n + 2, count, b.width);
            b.height = value(n + 3, count, b.height);
        }
    }
}

void load_texts(Scene& scene, int count) {
    for (int k = 0; k < string_draw_count; ++k) {
        string_draw& s = scene.string_draws[k];
        const int n = 5 * k;
        s.x = static_cast<uint32_t>(value(n, count, static_cast<int32_t>(s.x)));
        s.y = static_cast<uint32_t>(value(n + 1, count, static_cast<int32_t>(s.y)));
        s.width = value(n + 2, count, s.width);
        s.height = value(n + 3, count, s.height);
        s.colour = value(n + 4, count, s.colour);
    }
}

void load_graphs(Scene& scene, int count) {
    scene.graph_count = clamp(value(0, count, scene.graph_count), 0, graph_draw_count);
    for (int k = 0; k < scene.graph_count; ++k) {
        graph_draw& g = scene.graph_draws[k];
        const int n = 1 + 5 * k;
        g.x = value(n, count, g.x);
        g.y = value(n + 1, count, g.y);
        g.width = value(n + 2, count, g.width);
        g.height = value(n + 3, count, g.height);
        g.in_use = value(n + 4, count, g.in_use);
    }
}

// [SECTION] Checksums and copies of whole files

// The whole file at path into bytes (at most whole_file_limit); a missing
// file reads as empty. False (errno set) when it exists but cannot be read.
bool read_whole(const char* path, std::string* bytes) {
    bytes->clear();
    std::vector<uint8_t> file;
    std::string err;
    if (!platform_read_file(path, whole_file_limit, &file, &err)) return errno == ENOENT;
    bytes->assign(file.begin(), file.end());
    return true;
}

// FNV-1a (64 bits) of bytes followed by their length (8 bytes, least
// significant first).
uint64_t checksum(const std::string& bytes) {
    uint64_t h = 14695981039346656037ull;
    auto mix = [&h](uint8_t b) { h = (h ^ b) * 1099511628211ull; };
    for (char c : bytes) mix(static_cast<uint8_t>(c));
    for (int i = 0; i < 8; ++i) mix(static_cast<uint8_t>(static_cast<uint64_t>(bytes.size()) >> (8 * i)));
    return h;
}

// scene.conf's record of the four files' checksums.
std::string checksum_line(const uint64_t* sums) {
    char line[96];
    std::snprintf(line, sizeof line, "files %016" PRIx64 " %016" PRIx64 " %016" PRIx64 " %016" PRIx64 "\n",
                  sums[0], sums[1], sums[2], sums[3]);
    return line;
}

// Copies the refused file at path to NAME.bad-YYYYMMDD-HHMMSS beside it
// (local time; -1, -2 ... added while the name is taken), created
// exclusively and synced, so the next save cannot take its bytes. A copy
// kept earlier with the same bytes is named instead: start-ups that end
// without a save would otherwise pile up copies. Returns the copy's file
// name, or "" with the reason in err.
std::string keep_aside(const char* path, std::string* err) {
    std::string bytes;
    if (!read_whole(path, &bytes)) {
        *err = std::string("cannot read it: ") + std::strerror(errno);
        return "";
    }
    const std::string name = base_name(path);
    const std::string folder(path, static_cast<size_t>(base_name(path) - path));   // "" or ending in '/'
    const std::string prefix = name + ".bad-";
    std::string kept;
    for (const std::string& earlier : platform_folder_names(folder.c_str(), prefix.c_str()))
        if (read_whole((folder + earlier).c_str(), &kept) && kept == bytes) return earlier;
    char stamp[32];
    const time_t now = std::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    for (int n = 0; n < 1000; ++n) {
        const std::string copy = prefix + stamp + (n ? "-" + std::to_string(n) : std::string());
        std::string why;
        switch (platform_write_new_file((folder + copy).c_str(), bytes.data(), bytes.size(), &why)) {
            case New_file::written: return copy;
            case New_file::taken: continue;
            case New_file::failed: *err = why; return "";
        }
    }
    *err = "1000 copies of this second are kept already";
    return "";
}

// Keeps the refused file at path aside and says so on the status line,
// with why it was refused and what happens instead.
void keep_aside_and_tell(const char* path, const std::string& why, const char* instead) {
    std::string err;
    const std::string copy = keep_aside(path, &err);
    std::string message = std::string("scene: ") + base_name(path) + " is damaged (" + why + "); ";
    message += copy.empty() ? "no copy could be kept (" + err + "), the next save replaces it; "
                            : "kept as " + copy + "; ";
    set_status((message + instead).c_str());
}

// [SECTION] scene.conf

// The records a scene.conf describes, gathered before any is applied.
struct Staged {
    int32_t pitch;
    int32_t counts[6];
    int32_t menu[2];
    led_unit boards[led_unit_count];
    string_draw texts[string_draw_count];
    Digit_unit digits[digit_groups_in_use * digit_group_size];
    graph_draw graphs[graph_draw_count];
    bool graph_listed[graph_draw_count];
    uint64_t checksums[2][four_files];   // of the files lines
    int checksum_lines;
};
Staged staged;

// Reads the whitespace-separated fields of one line as integers within
// [lo, hi]; returns false on a missing, extra or out-of-range field.
bool fields(const char* text, int64_t* out, int n, int64_t lo, int64_t hi) {
    const char* p = text;
    for (int i = 0; i < n; ++i) {
        char* end = nullptr;
        errno = 0;
        long long v = std::strtoll(p, &end, 10);
        if (end == p || errno || v < lo || v > hi) return false;
        out[i] = v;
        p = end;
    }
    while (*p == ' ' || *p == '\t' || *p == '\r') ++p;
    return *p == '\0';
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

constexpr int64_t i32_min = INT32_MIN, i32_max = INT32_MAX, u32_max = UINT32_MAX;

// Parses one record line into the staged scene. Returns an error text, or
// null when the line is fine.
const char* stage_line(char* line, int* boards, int* texts, int* digits, bool* ended) {
    char word[16] = {};
    int used = 0;
    if (std::sscanf(line, "%15s%n", word, &used) != 1) return nullptr;   // blank line
    const char* rest = line + used;
    int64_t v[17];
    if (!std::strcmp(word, "view")) {
        if (!fields(rest, v, 1, min_dot_pitch, max_dot_pitch)) return "bad view line";
        staged.pitch = static_cast<int32_t>(v[0]);
    } else if (!std::strcmp(word, "counts")) {
        if (!fields(rest, v, 6, 0, i32_max)) return "bad counts line";
        if (v[0] > string_draw_count || v[1] >= digit_group_size || v[2] > graph_draw_count ||
            v[3] > max_board_columns || v[4] > max_board_rows || v[5] > max_board_columns)
            return "counts beyond the pools";
        for (int i = 0; i < 6; ++i) staged.counts[i] = static_cast<int32_t>(v[i]);
    } else if (!std::strcmp(word, "menu")) {
        if (!fields(rest, v, 2, 0, 255) || v[0] > max_brightness || v[1] > 3) return "bad menu line";
        staged.menu[0] = static_cast<int32_t>(v[0]);
        staged.menu[1] = static_cast<int32_t>(v[1]);
    } else if (!std::strcmp(word, "board")) {
        if (!fields(rest, v, 6, i32_min, i32_max) || v[0] < 0 || v[0] >= board_grid_rows ||
            v[1] < 0 || v[1] >= board_grid_cols)
            return "bad board line";
        led_unit& b = staged.boards[v[0] * board_grid_cols + v[1]];
        b.x = static_cast<int32_t>(v[2]);
        b.y = static_cast<int32_t>(v[3]);
        b.width = static_cast<int32_t>(v[4]);
        b.height = static_cast<int32_t>(v[5]);
        ++*boards;
    } else if (!std::strcmp(word, "text")) {
        // Thirteen numbers, then the bytes.
        char* bytes = std::strrchr(line, ' ');
        if (!bytes) return "bad text line";
        *bytes++ = '\0';
        if (!fields(rest, v, 13, i32_min, u32_max) || v[0] < 0 || v[0] >= string_draw_count)
            return "bad text line";
        for (int i : {4, 5, 6, 7, 12})
            if (v[i] < 0 || v[i] > 255) return "bad text line";
        string_draw& s = staged.texts[v[0]];
        s.slot = static_cast<int32_t>(v[1]);
        s.x = static_cast<uint32_t>(v[2]);
        s.y = static_cast<uint32_t>(v[3]);
        s.pitch = static_cast<int32_t>(v[4]);
        s.font_size = static_cast<uint8_t>(v[5]);
        s.text_source = static_cast<uint8_t>(v[6]);
        s.enabled = static_cast<uint8_t>(v[7]);
        s.width = static_cast<int32_t>(v[8]);
        s.height = static_cast<int32_t>(v[9]);
        s.colour = static_cast<int32_t>(v[10]);
        s.length = static_cast<int32_t>(v[11]);
        s.bold_flag = static_cast<uint8_t>(v[12]);
        std::memset(s.text, 0, sizeof s.text);
        size_t n = std::strlen(bytes);
        while (n && (bytes[n - 1] == '\r' || bytes[n - 1] == ' ')) bytes[--n] = '\0';
        if (std::strcmp(bytes, "-") != 0) {
            if (n % 2 || n / 2 > sizeof s.text) return "bad text bytes";
            for (size_t i = 0; i < n / 2; ++i) {
                int hi = hex_digit(bytes[2 * i]), lo = hex_digit(bytes[2 * i + 1]);
                if (hi < 0 || lo < 0) return "bad text bytes";
                s.text[i] = static_cast<char>(hi * 16 + lo);
            }
        }
        ++*texts;
    } else if (!std::strcmp(word, "digit")) {
        if (!fields(rest, v, 17, i32_min, u32_max) || v[0] < 0 || v[0] >= digit_groups_in_use ||
            v[1] < 0 || v[1] >= digit_group_size)
            return "bad digit line";
        for (int i : {2, 4, 13, 14, 16})
            if (v[i] < 0 || v[i] > 255) return "bad digit line";
        Digit_unit& d = staged.digits[v[0] * digit_group_size + v[1]];
        d.enabled = static_cast<uint8_t>(v[2]);
        d.id = static_cast<int32_t>(v[3]);
        d.pitch = static_cast<uint8_t>(v[4]);
        d.x = static_cast<uint32_t>(v[5]);
        d.y = static_cast<uint32_t>(v[6]);
        d.width = static_cast<int32_t>(v[7]);
        d.height = static_cast<int32_t>(v[8]);
        d.spare_word = static_cast<int32_t>(v[9]);
        d.param_a = static_cast<int32_t>(v[10]);
        d.param_b = static_cast<int32_t>(v[11]);
        d.digits = static_cast<int32_t>(v[12]);
        d.colour = static_cast<uint8_t>(v[13]);
        d.spare_byte = static_cast<uint8_t>(v[14]);
        d.type_code = static_cast<int32_t>(v[15]);
        d.kind = static_cast<uint8_t>(v[16]);
        ++*digits;
    } else if (!std::strcmp(word, "graph")) {
        if (!fields(rest, v, 6, i32_min, i32_max) || v[0] < 0 || v[0] >= graph_draw_count)
            return "bad graph line";
        graph_draw& g = staged.graphs[v[0]];
        g.x = static_cast<int32_t>(v[1]);
        g.y = static_cast<int32_t>(v[2]);
        g.width = static_cast<int32_t>(v[3]);
        g.height = static_cast<int32_t>(v[4]);
        g.in_use = static_cast<int32_t>(v[5]);
        staged.graph_listed[v[0]] = true;
    } else if (!std::strcmp(word, "files")) {
        if (staged.checksum_lines == 2) return "over two files lines";
        uint64_t* sums = staged.checksums[staged.checksum_lines++];
        const char* p = rest;
        for (int k = 0; k < four_files; ++k) {
            while (*p == ' ' || *p == '\t') ++p;
            sums[k] = 0;
            for (int i = 0; i < 16; ++i, ++p) {
                const int d = hex_digit(*p);
                if (d < 0) return "bad files line";
                sums[k] = sums[k] << 4 | static_cast<uint64_t>(d);
            }
            if (*p && *p != ' ' && *p != '\t' && *p != '\r') return "bad files line";
        }
        while (*p == ' ' || *p == '\t' || *p == '\r') ++p;
        if (*p) return "bad files line";
    } else if (!std::strcmp(word, "end")) {
        *ended = true;
    } else {
        return "unknown record";
    }
    return nullptr;
}

enum class Conf { missing, unreadable, damaged, sound };

// Reads scene.conf into the staged scene. Unless it is sound, why says
// what is wrong ("line 12: bad text line").
Conf stage_scene_conf(const char* path, int pitch, std::string* why) {
    std::vector<uint8_t> file;
    std::string err;
    if (!platform_read_file(path, whole_file_limit, &file, &err)) {
        const int e = errno;
        if (e == EFBIG) {
            *why = "over " + std::to_string(whole_file_limit) + " bytes";
            return Conf::damaged;
        }
        *why = e == EISDIR ? "a folder, not a file" : e == EINVAL ? "not a regular file" : std::strerror(e);
        return e == ENOENT ? Conf::missing : Conf::unreadable;
    }
    const char* text = reinterpret_cast<const char*>(file.data());
    size_t at = 0;
    // The next line into line (its line feed kept), as fgets reads it: at
    // most sizeof line - 1 bytes. False at the end of the file.
    auto next_line = [&](char* line, size_t cap) {
        if (at >= file.size()) return false;
        size_t n = 0;
        while (at < file.size() && n + 1 < cap) {
            line[n++] = text[at++];
            if (line[n - 1] == '\n') break;
        }
        line[n] = '\0';
        return true;
    };
    staged.pitch = pitch;
    staged.checksum_lines = 0;
    std::memset(staged.counts, 0xFF, sizeof staged.counts);
    staged.menu[0] = staged.menu[1] = -1;
    for (graph_draw& g : staged.graphs) g = graph_draw();
    for (bool& b : staged.graph_listed) b = false;

    char line[2048];
    int number = 0, boards = 0, texts = 0, digits = 0;
    bool ended = false, header = false;
    const char* problem = nullptr;
    while (!problem && next_line(line, sizeof line)) {
        ++number;
        size_t len = std::strlen(line);
        if (len == sizeof line - 1 && line[len - 1] != '\n') problem = "line too long";
        else if (len && line[len - 1] == '\n') line[--len] = '\0';
        if (problem) break;
        if (ended) {
            if (line[0]) problem = "records after the end";
        } else if (!header) {
            if (std::strncmp(line, "vantiro-scene 1", 15) != 0) problem = "not a scene file of version 1";
            header = true;
        } else {
            problem = stage_line(line, &boards, &texts, &digits, &ended);
        }
    }
    if (problem) {
        *why = "line " + std::to_string(number) + ": " + problem;
        return Conf::damaged;
    }
    if (!ended) problem = "incomplete: no end line";
    else if (boards != led_unit_count || texts != string_draw_count ||
             digits != digit_groups_in_use * digit_group_size || staged.counts[0] < 0 || staged.menu[0] < 0)
        problem = "records missing";
    if (problem) {
        *why = problem;
        return Conf::damaged;
    }
    return Conf::sound;
}

// True when a files line of the staged scene.conf holds sum for four file
// k, or it has no files line (written before they existed).
bool recorded(int k, uint64_t sum) {
    for (int i = 0; i < staged.checksum_lines; ++i)
        if (staged.checksums[i][k] == sum) return true;
    return staged.checksum_lines == 0;
}

void apply_staged(Scene& scene) {
    set_dot_pitch(scene, staged.pitch);
    scene.text_count = staged.counts[0];
    scene.rect_count = staged.counts[1];
    scene.graph_count = staged.counts[2];
    scene.board_columns = staged.counts[3];
    scene.board_rows = staged.counts[4];
    scene.export_columns = staged.counts[5];
    scene.brightness_level = staged.menu[0];
    scene.panel_type = static_cast<uint8_t>(staged.menu[1]);
    for (int i = 0; i < led_unit_count; ++i) {
        scene.led_units[i].x = staged.boards[i].x;
        scene.led_units[i].y = staged.boards[i].y;
        scene.led_units[i].width = staged.boards[i].width;
        scene.led_units[i].height = staged.boards[i].height;
    }
    for (int k = 0; k < string_draw_count; ++k) {
        string_draw& s = scene.string_draws[k];
        const string_draw& t = staged.texts[k];
        s.slot = t.slot, s.x = t.x, s.y = t.y, s.pitch = t.pitch, s.font_size = t.font_size;
        s.text_source = t.text_source, s.enabled = t.enabled, s.width = t.width;
        s.height = t.height, s.colour = t.colour, s.length = t.length, s.bold_flag = t.bold_flag;
        std::memcpy(s.text, t.text, sizeof s.text);
    }
    for (int n = 0; n < digit_groups_in_use * digit_group_size; ++n) {
        Digit_unit& d = scene.digit_units[n];
        const Digit_unit& t = staged.digits[n];
        d.enabled = t.enabled, d.id = t.id, d.pitch = t.pitch, d.x = t.x, d.y = t.y;
        d.width = t.width, d.height = t.height, d.spare_word = t.spare_word;
        d.param_a = t.param_a, d.param_b = t.param_b, d.digits = t.digits, d.colour = t.colour;
        d.spare_byte = t.spare_byte, d.type_code = t.type_code, d.kind = t.kind;
    }
    // The rectangles not listed are unused: back to their defaults.
    for (int k = 0; k < graph_draw_count; ++k) {
        graph_draw& g = scene.graph_draws[k];
        const graph_draw& t = staged.graph_listed[k] ? staged.graphs[k] : graph_draw();
        g.x = t.x, g.y = t.y, g.width = t.width, g.height = t.height, g.in_use = t.in_use;
    }
}

// [SECTION] Writing

void put(std::string* out, int64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%" PRId64 "\r\r\n", v);
    *out += buf;
}

std::string digit_file(const Scene& scene) {
    std::string out = "\r\r\n";
    for (int i = 0; i < digit_group_size; ++i) {
        const Digit_unit& d = scene.digit_at(0, i);
        put(&out, static_cast<int32_t>(d.x));
        put(&out, static_cast<int32_t>(d.y));
        put(&out, d.width);
        put(&out, d.height);
        put(&out, d.param_a);
        put(&out, d.digits);
        put(&out, d.colour);
    }
    return out;
}

std::string board_file(const Scene& scene) {
    std::string out = "\r\r\n";
    const int columns = clamp(scene.board_columns, 0, max_board_columns);
    const int rows = clamp(scene.board_rows, 0, max_board_rows);
    put(&out, columns);
    put(&out, rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const led_unit& b = scene.board_at(r, c);
            put(&out, b.x);
            put(&out, b.y);
            put(&out, b.width);
            put(&out, b.height);
        }
    return out;
}

std::string text_file(const Scene& scene) {
    std::string out = "\r\r\n";
    for (const string_draw& s : scene.string_draws) {
        put(&out, static_cast<int32_t>(s.x));
        put(&out, static_cast<int32_t>(s.y));
        put(&out, s.width);
        put(&out, s.height);
        put(&out, s.colour);
    }
    return out;
}

std::string graph_file(const Scene& scene) {
    std::string out = "\r\r\n";
    const int count = clamp(scene.graph_count, 0, graph_draw_count);
    put(&out, count);
    for (int k = 0; k < count; ++k) {
        const graph_draw& g = scene.graph_draws[k];
        put(&out, g.x);
        put(&out, g.y);
        put(&out, g.width);
        put(&out, g.height);
        put(&out, g.in_use);
    }
    return out;
}

std::string scene_conf_file(const Scene& scene, const uint64_t* sums) {
    std::string out = "vantiro-scene 1\n";
    char line[1400];
    std::snprintf(line, sizeof line, "view %d\ncounts %d %d %d %d %d %d\nmenu %d %d\n", scene.dot_pitch,
                  scene.text_count, scene.rect_count, scene.graph_count, scene.board_columns, scene.board_rows, scene.export_columns,
                  scene.brightness_level, scene.panel_type);
    out += line;
    for (int r = 0; r < board_grid_rows; ++r)
        for (int c = 0; c < board_grid_cols; ++c) {
            const led_unit& b = scene.board_at(r, c);
            std::snprintf(line, sizeof line, "board %d %d %d %d %d %d\n", r, c, b.x, b.y, b.width, b.height);
            out += line;
        }
    for (int k = 0; k < string_draw_count; ++k) {
        const string_draw& s = scene.string_draws[k];
        int n = std::snprintf(line, sizeof line, "text %d %d %u %u %d %u %u %u %d %d %d %d %u ", k,
                              s.slot, s.x, s.y, s.pitch, s.font_size, s.text_source, s.enabled,
                              s.width, s.height, s.colour, s.length, s.bold_flag);
        out.append(line, static_cast<size_t>(n));
        size_t used = sizeof s.text;
        while (used && s.text[used - 1] == 0) --used;
        if (!used) out += "-";
        for (size_t i = 0; i < used; ++i) {
            std::snprintf(line, sizeof line, "%02x", static_cast<uint8_t>(s.text[i]));
            out += line;
        }
        out += "\n";
    }
    for (int g = 0; g < digit_groups_in_use; ++g)
        for (int i = 0; i < digit_group_size; ++i) {
            const Digit_unit& d = scene.digit_at(g, i);
            std::snprintf(line, sizeof line, "digit %d %d %u %d %u %u %u %d %d %d %d %d %d %u %u %d %u\n",
                          g, i, d.enabled, d.id, d.pitch, d.x, d.y, d.width, d.height, d.spare_word,
                          d.param_a, d.param_b, d.digits, d.colour, d.spare_byte, d.type_code, d.kind);
            out += line;
        }
    for (int k = 0; k < graph_draw_count; ++k) {
        const graph_draw& g = scene.graph_draws[k];
        if (k >= scene.graph_count && !g.in_use) continue;
        std::snprintf(line, sizeof line, "graph %d %d %d %d %d %d\n", k, g.x, g.y, g.width, g.height, g.in_use);
        out += line;
    }
    out += checksum_line(sums);
    out += "end\n";
    return out;
}

// The first thing a save does (see Saving): lets the scene.conf on disk
// hold for the new four files too, before any of them is replaced. Nothing to do when it has no files line or already
// does not hold for the four on disk (then it is not used whatever
// happens), or when the four do not change.
bool widen_scene_conf(const Scene& scene, const uint64_t* fresh, std::string* err) {
    const char* path = data_paths.scene_conf;
    std::string why, text;
    if (stage_scene_conf(path, scene.dot_pitch, &why) != Conf::sound || staged.checksum_lines == 0) return true;
    uint64_t now[four_files];
    bool same = true;
    for (int k = 0; k < four_files; ++k) {
        if (!read_whole(four_file_path(k), &text)) return true;
        now[k] = checksum(text);
        if (!recorded(k, now[k])) return true;
        same = same && now[k] == fresh[k];
    }
    if (same || !read_whole(path, &text)) return true;
    // Its lines as they are, the files lines replaced by the two just
    // before the end line (only empty lines follow it).
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const size_t feed = text.find('\n', at);
        const size_t stop = feed == std::string::npos ? text.size() : feed + 1;
        const std::string line = text.substr(at, stop - at);
        at = stop;
        char word[16] = {};
        if (std::sscanf(line.c_str(), "%15s", word) == 1) {
            if (!std::strcmp(word, "files")) continue;
            if (!std::strcmp(word, "end")) out += checksum_line(now) + checksum_line(fresh);
        }
        out += line;
    }
    return platform_write_file_atomic(path, out.data(), out.size(), err);
}

}  // namespace

int read_lines(const char* path, char (*lines)[scene_line_size], std::string* err) {
    int count = 0;
    std::string why;
    if (read_table(path, lines, &count, &why) == Read::ok) return count;
    if (err) *err = std::string(path) + ": " + why;
    return -1;
}

void load_scene_files(Scene& scene) {
    std::string why;
    const Conf conf = stage_scene_conf(data_paths.scene_conf, scene.dot_pitch, &why);
    void (*const loads[four_files])(Scene& scene, int count) = {load_digits, load_boards, load_texts, load_graphs};
    bool compared[four_files] = {};   // the files whose checksums decide whether scene.conf holds
    std::string bytes;
    for (int k = 0; k < four_files; ++k) {
        const char* path = four_file_path(k);
        int count = 0;
        std::string problem;
        switch (read_table(path, line_table, &count, &problem)) {
        case Read::ok:
            loads[k](scene, count);
            compared[k] = true;
            break;
        case Read::missing:   // not saved yet: the defaults stay
            compared[k] = true;
            break;
        case Read::unreadable:
            report(std::string(path) + ": " + problem + "; its values are kept");
            break;
        case Read::refused:
            // As saved with scene.conf, only beyond the old format's limits
            // (over 139 rectangles): not damaged, and scene.conf holds it all.
            if (conf == Conf::sound && staged.checksum_lines && read_whole(path, &bytes) &&
                recorded(k, checksum(bytes)))
                report(std::string(path) + ": " + problem + "; scene.conf gives its values");
            else
                keep_aside_and_tell(path, problem, "it is not used");
            break;
        }
    }
    switch (conf) {
    case Conf::missing:
        break;
    case Conf::unreadable:
        report(std::string(data_paths.scene_conf) + ": " + why +
               "; the scene is taken from the other scene files alone");
        break;
    case Conf::damaged:
        keep_aside_and_tell(data_paths.scene_conf, why, "the scene comes from the other files");
        break;
    case Conf::sound: {
        std::string changed;
        for (int k = 0; k < four_files; ++k)
            if (compared[k] && read_whole(four_file_path(k), &bytes) && !recorded(k, checksum(bytes)))
                changed += (changed.empty() ? "" : ", ") + std::string(base_name(four_file_path(k)));
        if (changed.empty()) {
            apply_staged(scene);
        } else {
            // Its texts are in no other file: kept aside before the next
            // save replaces it.
            std::string err;
            const std::string copy = keep_aside(data_paths.scene_conf, &err);
            report(changed + " changed since scene.conf was written; scene.conf is not used (" +
                   (copy.empty() ? "no copy could be kept: " + err : "kept as " + copy) +
                   "), the scene comes from digit.conf, leduit.conf, string.conf and grape.conf alone");
        }
        break;
    }
    }
    // Whatever the files held: the boards as one grid, every element on
    // the sign on one of its LEDs, and the texts' files read again.
    lay_out_boards(scene);
    settle_positions_on_sign(scene);
    refresh_text_files();
}

bool save_scene_files(const Scene& scene, std::string* err) {
    const std::string four[four_files] = {digit_file(scene), board_file(scene), text_file(scene), graph_file(scene)};
    uint64_t sums[four_files];
    for (int k = 0; k < four_files; ++k) sums[k] = checksum(four[k]);
    if (!widen_scene_conf(scene, sums, err)) return false;
    for (int k = 0; k < four_files; ++k)
        if (!platform_write_file_atomic(four_file_path(k), four[k].data(), four[k].size(), err)) return false;
    const std::string conf = scene_conf_file(scene, sums);
    return platform_write_file_atomic(data_paths.scene_conf, conf.data(), conf.size(), err);
}
