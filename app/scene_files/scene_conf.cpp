// scene.conf: what the four number files cannot hold, so that a scene comes
// back exactly: typed texts, shapes of every group, counters. Plain text,
// one record a line, fields separated by blanks, numbers in decimal; each
// record's fields are those of its table in scene/record_fields.h, in
// order:
//   vantiro-scene 1
//   view    dot_pitch
//   counts  text_count rect_count graph_count board_columns board_rows export_columns
//   menu    brightness_level panel_type
//   board   row col <board_fields>                      (24 lines)
//   text    index <text_fields> bytes                   (40 lines)
//           bytes: the 512-byte text field in hex, trailing zero bytes
//           left out ("-" when all are zero)
//   digit   group index <digit_fields>                  (2,000 lines: groups 0..19)
//   graph   index <graph_fields>      (each record below graph_count or in use)
//   files   digit leduit string grape         checksums of the four files it
//           was written with: 16 hex digits each, FNV-1a (64 bits) of the
//           file's bytes followed by its length (8 bytes, least significant
//           first); a missing file is empty. One line, two while a save is
//           under way (see scene_files.cpp); none in files written before
//           it existed.
//   end
// It is applied after the four, over everything they set, unless one of
// the four now differs from every checksum recorded for it: edited by hand
// or written by another tool, the four files are newer and give the scene
// alone. A scene.conf that is incomplete or malformed is ignored whole.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/scene_files/parts.h"
#include "app/scene_files/scene_files.h"
#include "platform/platform.h"
#include "scene/record_fields.h"
#include "scene/view_state.h"

namespace {


constexpr int max_numbers = 24;

// Reads the n whitespace-separated integers of text into out, number i
// within [lo[i], hi[i]]; false on a missing, extra or out-of-range one.
bool numbers(const char* text, int64_t* out, int n, const int64_t* lo, const int64_t* hi) {
    const char* p = text;
    for (int i = 0; i < n; ++i) {
        char* end = nullptr;
        errno = 0;
        long long v = std::strtoll(p, &end, 10);
        if (end == p || errno || v < lo[i] || v > hi[i]) return false;
        out[i] = v;
        p = end;
    }
    while (*p == ' ' || *p == '\t' || *p == '\r') ++p;
    return *p == '\0';
}

// n numbers, each within [lo, hi].
bool numbers(const char* text, int64_t* out, int n, int64_t lo, int64_t hi) {
    int64_t los[max_numbers], his[max_numbers];
    for (int i = 0; i < n; ++i) los[i] = lo, his[i] = hi;
    return numbers(text, out, n, los, his);
}

// A record line: its indexes (index i within [0, limits[i])), then the
// fields of its table within their ranges. The field values follow the
// indexes in v.
template <class R, size_t N>
bool record_numbers(const char* text, int64_t* v, std::initializer_list<int64_t> limits,
                    const Record_field<R> (&fields)[N]) {
    int64_t lo[max_numbers], hi[max_numbers];
    int n = 0;
    for (int64_t limit : limits) lo[n] = 0, hi[n++] = limit - 1;
    for (const Record_field<R>& f : fields) lo[n] = f.lo, hi[n++] = f.hi;
    static_assert(N + 2 <= max_numbers, "room for a record's numbers");
    return numbers(text, v, n, lo, hi);
}

template <class R, size_t N>
void set_fields(const Record_field<R> (&fields)[N], const int64_t* v, R& r) {
    for (size_t i = 0; i < N; ++i) fields[i].set(r, v[i]);
}

template <class R, size_t N>
void put_fields(const Record_field<R> (&fields)[N], const R& r, std::string* out) {
    char number[24];
    number[0] = ' ';
    for (const Record_field<R>& f : fields) {
        const char* end = std::to_chars(number + 1, number + sizeof number, f.get(r)).ptr;   // as %d writes it
        out->append(number, static_cast<size_t>(end - number));
    }
}

// Parses one record line into the staged scene. Returns an error text, or
// null when the line is fine.
const char* stage_line(Staged& staged, char* line, int* boards, int* texts, int* digits, bool* ended) {
    // The first word (at most 15 bytes of it, as "%15s" reads), after
    // leading white space; none: a blank line.
    char word[16] = {};
    const char* at = line;
    while (std::isspace(static_cast<unsigned char>(*at))) ++at;
    if (!*at) return nullptr;
    for (int n = 0; *at && !std::isspace(static_cast<unsigned char>(*at)) && n < 15;) word[n++] = *at++;
    const char* rest = at;
    int64_t v[max_numbers];
    if (!std::strcmp(word, "view")) {
        if (!numbers(rest, v, 1, min_dot_pitch, max_dot_pitch)) return "bad view line";
        staged.pitch = static_cast<int32_t>(v[0]);
    } else if (!std::strcmp(word, "counts")) {
        if (!numbers(rest, v, 6, 0, i32_hi)) return "bad counts line";
        if (v[0] > string_draw_count || v[1] >= digit_group_size || v[2] > graph_draw_count ||
            v[3] > max_board_columns || v[4] > max_board_rows || v[5] > max_board_columns)
            return "counts beyond the pools";
        for (int i = 0; i < 6; ++i) staged.counts[i] = static_cast<int32_t>(v[i]);
    } else if (!std::strcmp(word, "menu")) {
        if (!numbers(rest, v, 2, 0, 255) || v[0] > max_brightness || v[1] > 3) return "bad menu line";
        staged.menu[0] = static_cast<int32_t>(v[0]);
        staged.menu[1] = static_cast<int32_t>(v[1]);
    } else if (!std::strcmp(word, "board")) {
        if (!record_numbers(rest, v, {board_grid_rows, board_grid_cols}, board_fields)) return "bad board line";
        set_fields(board_fields, v + 2, staged.boards[v[0] * board_grid_cols + v[1]]);
        ++*boards;
    } else if (!std::strcmp(word, "text")) {
        // The numbers, then the bytes.
        char* bytes = std::strrchr(line, ' ');
        if (!bytes) return "bad text line";
        *bytes++ = '\0';
        if (!record_numbers(rest, v, {string_draw_count}, text_fields)) return "bad text line";
        string_draw& s = staged.texts[v[0]];
        set_fields(text_fields, v + 1, s);
        std::memset(s.text, 0, sizeof s.text);
        size_t n = std::strlen(bytes);
        while (n && (bytes[n - 1] == '\r' || bytes[n - 1] == ' ')) bytes[--n] = '\0';
        if (std::strcmp(bytes, "-") != 0 &&
            (n % 2 || n / 2 > sizeof s.text || !parse_hex(bytes, n / 2, s.text)))
            return "bad text bytes";
        ++*texts;
    } else if (!std::strcmp(word, "digit")) {
        if (!record_numbers(rest, v, {digit_groups_in_use, digit_group_size}, digit_fields))
            return "bad digit line";
        set_fields(digit_fields, v + 2, staged.digits[v[0] * digit_group_size + v[1]]);
        ++*digits;
    } else if (!std::strcmp(word, "graph")) {
        if (!record_numbers(rest, v, {graph_draw_count}, graph_fields)) return "bad graph line";
        set_fields(graph_fields, v + 1, staged.graphs[v[0]]);
        staged.graph_listed[v[0]] = true;
    } else if (!std::strcmp(word, "files")) {
        if (staged.checksum_lines == 2) return "over two files lines";
        uint64_t* sums = staged.checksums[staged.checksum_lines++];
        const char* p = rest;
        for (int k = 0; k < four_files; ++k) {
            while (*p == ' ' || *p == '\t') ++p;
            char bytes[8];
            if (!parse_hex(p, 8, bytes)) return "bad files line";
            p += 16;
            sums[k] = 0;
            for (char b : bytes) sums[k] = sums[k] << 8 | static_cast<uint8_t>(b);
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

// scene.conf's record of the four files' checksums.
std::string checksum_line(const uint64_t* sums) {
    char line[96];
    std::snprintf(line, sizeof line, "files %016" PRIx64 " %016" PRIx64 " %016" PRIx64 " %016" PRIx64 "\n",
                  sums[0], sums[1], sums[2], sums[3]);
    return line;
}

}  // namespace

uint64_t checksum(const std::string& bytes) {
    uint64_t h = 14695981039346656037ull;
    auto mix = [&h](uint8_t b) { h = (h ^ b) * 1099511628211ull; };
    for (char c : bytes) mix(static_cast<uint8_t>(c));
    for (int i = 0; i < 8; ++i) mix(static_cast<uint8_t>(static_cast<uint64_t>(bytes.size()) >> (8 * i)));
    return h;
}

Conf stage_scene_conf(Staged& staged, const char* path, int pitch, std::string* why) {
    std::vector<uint8_t> file;
    return stage_scene_conf(staged, file, path, pitch, why);
}

Conf stage_scene_conf(Staged& staged, std::vector<uint8_t>& file, const char* path, int pitch, std::string* why) {
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
    // The next line into line (its line feed kept): at most cap - 1
    // bytes. False at the end of the file.
    auto next_line = [&](char* line, size_t cap) {
        if (at >= file.size()) return false;
        const size_t most = std::min(file.size() - at, cap - 1);
        const void* feed = std::memchr(text + at, '\n', most);
        const size_t n = feed ? static_cast<size_t>(static_cast<const char*>(feed) - (text + at)) + 1 : most;
        std::memcpy(line, text + at, n);
        at += n;
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
            problem = stage_line(staged, line, &boards, &texts, &digits, &ended);
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

bool staged_has_checksums(const Staged& staged) { return staged.checksum_lines > 0; }

bool recorded(const Staged& staged, int k, uint64_t sum) {
    for (int i = 0; i < staged.checksum_lines; ++i)
        if (staged.checksums[i][k] == sum) return true;
    return staged.checksum_lines == 0;
}

void apply_staged(const Staged& staged, Scene& scene) {
    set_dot_pitch(scene, staged.pitch);
    scene.text_count = staged.counts[0];
    scene.rect_count = staged.counts[1];
    scene.graph_count = staged.counts[2];
    scene.board_columns = staged.counts[3];
    scene.board_rows = staged.counts[4];
    scene.export_columns = staged.counts[5];
    scene.brightness_level = staged.menu[0];
    scene.panel_type = static_cast<uint8_t>(staged.menu[1]);
    for (int i = 0; i < led_unit_count; ++i) copy_fields(board_fields, staged.boards[i], scene.led_units[i]);
    for (int k = 0; k < string_draw_count; ++k) {
        copy_fields(text_fields, staged.texts[k], scene.string_draws[k]);
        std::memcpy(scene.string_draws[k].text, staged.texts[k].text, sizeof staged.texts[k].text);
    }
    for (int n = 0; n < digit_groups_in_use * digit_group_size; ++n)
        copy_fields(digit_fields, staged.digits[n], scene.digit_units[n]);
    // The rectangles not listed are unused: back to their defaults.
    for (int k = 0; k < graph_draw_count; ++k)
        copy_fields(graph_fields, staged.graph_listed[k] ? staged.graphs[k] : graph_draw(), scene.graph_draws[k]);
}

std::string scene_conf_file(const Scene& scene, const uint64_t* sums) {
    std::string out = "vantiro-scene 1\n";
    char line[200];
    std::snprintf(line, sizeof line, "view %d\ncounts %d %d %d %d %d %d\nmenu %d %d\n", scene.dot_pitch,
                  scene.text_count, scene.rect_count, scene.graph_count, scene.board_columns, scene.board_rows,
                  scene.export_columns, scene.brightness_level, scene.panel_type);
    out += line;
    for (int r = 0; r < board_grid_rows; ++r)
        for (int c = 0; c < board_grid_cols; ++c) {
            out += "board " + std::to_string(r) + " " + std::to_string(c);
            put_fields(board_fields, scene.board_at(r, c), &out);
            out += "\n";
        }
    for (int k = 0; k < string_draw_count; ++k) {
        const string_draw& s = scene.string_draws[k];
        out += "text " + std::to_string(k);
        put_fields(text_fields, s, &out);
        size_t used = sizeof s.text;
        while (used && s.text[used - 1] == 0) --used;
        out += " " + (used ? hex_of(s.text, used) : std::string("-")) + "\n";
    }
    for (int g = 0; g < digit_groups_in_use; ++g)
        for (int i = 0; i < digit_group_size; ++i) {
            out += "digit " + std::to_string(g) + " " + std::to_string(i);
            put_fields(digit_fields, scene.digit_at(g, i), &out);
            out += "\n";
        }
    for (int k = 0; k < graph_draw_count; ++k) {
        const graph_draw& g = scene.graph_draws[k];
        if (k >= scene.graph_count && !g.in_use) continue;
        out += "graph " + std::to_string(k);
        put_fields(graph_fields, g, &out);
        out += "\n";
    }
    out += checksum_line(sums);
    out += "end\n";
    return out;
}

// Nothing to do when the scene.conf on disk has no files line or already
// does not hold for the four on disk (then it is not used whatever
// happens), or when the four do not change.
bool widen_scene_conf(Staged& staged, const Data_paths& paths, int pitch, const uint64_t* fresh, std::string* err) {
    const char* path = paths.scene_conf;
    std::string why, text;
    if (stage_scene_conf(staged, path, pitch, &why) != Conf::sound || staged.checksum_lines == 0) return true;
    uint64_t now[four_files];
    bool same = true;
    for (int k = 0; k < four_files; ++k) {
        if (!read_whole(four_file_path(paths, k), &text)) return true;
        now[k] = checksum(text);
        if (!recorded(staged, k, now[k])) return true;
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
