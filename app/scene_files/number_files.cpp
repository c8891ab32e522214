// The four number files: decimal numbers, one per line. Each file starts
// with the bytes CR CR LF and every number is followed by CR CR LF:
//   digit.conf   group 0, records 0..99: the digit fields marked
//                in_number_file (x, y, width, height, param_a, digits,
//                colour: 7 lines a record)
//   leduit.conf  board_columns, board_rows, then the board fields (x, y,
//                width, height) of every board in use, row by row
//   string.conf  texts 0..39: x, y, width, height, colour (5 lines a record)
//   grape.conf   graph_count, then x, y, width, height, in_use of each
//                rectangle in use
// The loader gives every group 0..19 the records saved from group 0.
// Numbers are written as signed 32-bit values and read back the same way
// (an unsigned field wraps).
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/config.h"
#include "app/scene_files/parts.h"
#include "app/scene_files/scene_files.h"
#include "platform/platform.h"
#include "scene/record_fields.h"

void report(const std::string& message) { diag_print("scene: %s\n", message.c_str()); }

const char* base_name(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

const char* four_file_path(const Data_paths& paths, int k) {
    const char* const files[four_files] = {paths.digit_conf, paths.leduit_conf, paths.string_conf,
                                           paths.grape_conf};
    return files[k];
}

namespace {

// Reads the file at path into lines (the rules of read_lines), its bytes
// through file.
Read read_table(const char* path, std::vector<uint8_t>& file, char (*lines)[scene_line_size], int* count,
                std::string* why) {
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
int32_t value(const Line_table& lines, int n, int count, int32_t keep) {
    return n < count ? leading_decimal(lines[n]) : keep;
}

int32_t clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

// Lines a record takes in its number file.
template <class R, size_t N>
constexpr int lines_of(const Record_field<R> (&fields)[N]) {
    int n = 0;
    for (const Record_field<R>& f : fields) n += f.in_number_file;
    return n;
}

// Record r from lines first.. of a table of count lines.
template <class R, size_t N>
void read_record(const Line_table& lines, const Record_field<R> (&fields)[N], R& r, int first, int count) {
    int n = first;
    for (const Record_field<R>& f : fields)
        if (f.in_number_file) {
            if (n < count) f.set(r, leading_decimal(lines[n]));
            ++n;
        }
}

// The fields of record from that read_record(fields, ..., first, count)
// sets, copied to record to.
template <class R, size_t N>
void copy_record(const Record_field<R> (&fields)[N], const R& from, R& to, int first, int count) {
    int n = first;
    for (const Record_field<R>& f : fields)
        if (f.in_number_file) {
            if (n < count) f.set(to, f.get(from));
            ++n;
        }
}

void put(std::string* out, int64_t v) {
    char buf[24];
    const char* end = std::to_chars(buf, buf + sizeof buf, v).ptr;   // as %d writes it
    out->append(buf, static_cast<size_t>(end - buf)).append("\r\r\n");
}

template <class R, size_t N>
void write_record(const Record_field<R> (&fields)[N], const R& r, std::string* out) {
    for (const Record_field<R>& f : fields)
        if (f.in_number_file) put(out, static_cast<int32_t>(f.get(r)));
}

}  // namespace

int read_lines(const char* path, char (*lines)[scene_line_size], std::string* err) {
    int count = 0;
    std::string why;
    std::vector<uint8_t> file;
    if (read_table(path, file, lines, &count, &why) == Read::ok) return count;
    if (err) *err = std::string(path) + ": " + why;
    return -1;
}

Read read_number_file(Scene_reading& reading, const Data_paths& paths, int k, int* count, std::string* why) {
    return read_table(four_file_path(paths, k), reading.file, reading.lines, count, why);
}

void load_number_file(const Scene_reading& reading, Scene& scene, int k, int count) {
    const Line_table& lines = reading.lines;
    switch (k) {
        case 0: {
            // The records the file has lines for (a short file sets few),
            // read into group 0 and copied, field by field, to the others.
            constexpr int per_record = lines_of(digit_fields);
            const int records = std::min(digit_group_size, (count + per_record - 1) / per_record);
            for (int i = 0; i < records; ++i) {
                read_record(lines, digit_fields, scene.digit_at(0, i), per_record * i, count);
                for (int g = 1; g < digit_groups_in_use; ++g)
                    copy_record(digit_fields, scene.digit_at(0, i), scene.digit_at(g, i), per_record * i, count);
            }
            break;
        }
        case 1:
            scene.board_columns = clamp(value(lines, 0, count, scene.board_columns), 0, max_board_columns);
            scene.board_rows = clamp(value(lines, 1, count, scene.board_rows), 0, max_board_rows);
            for (int r = 0; r < scene.board_rows; ++r)
                for (int c = 0; c < scene.board_columns; ++c)
                    read_record(lines, board_fields, scene.board_at(r, c),
                                2 + lines_of(board_fields) * (r * scene.board_columns + c), count);
            break;
        case 2:
            for (int n = 0; n < string_draw_count; ++n)
                read_record(lines, text_fields, scene.string_draws[n], lines_of(text_fields) * n, count);
            break;
        case 3:
            scene.graph_count = clamp(value(lines, 0, count, scene.graph_count), 0, graph_draw_count);
            for (int n = 0; n < scene.graph_count; ++n)
                read_record(lines, graph_fields, scene.graph_draws[n], 1 + lines_of(graph_fields) * n, count);
            break;
        default: break;
    }
}

std::string number_file(const Scene& scene, int k) {
    std::string out = "\r\r\n";
    switch (k) {
        case 0:
            for (int i = 0; i < digit_group_size; ++i) write_record(digit_fields, scene.digit_at(0, i), &out);
            break;
        case 1: {
            const int columns = clamp(scene.board_columns, 0, max_board_columns);
            const int rows = clamp(scene.board_rows, 0, max_board_rows);
            put(&out, columns);
            put(&out, rows);
            for (int r = 0; r < rows; ++r)
                for (int c = 0; c < columns; ++c) write_record(board_fields, scene.board_at(r, c), &out);
            break;
        }
        case 2:
            for (const string_draw& s : scene.string_draws) write_record(text_fields, s, &out);
            break;
        case 3: {
            const int count = clamp(scene.graph_count, 0, graph_draw_count);
            put(&out, count);
            for (int n = 0; n < count; ++n) write_record(graph_fields, scene.graph_draws[n], &out);
            break;
        }
        default: break;
    }
    return out;
}
