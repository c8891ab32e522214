// The stored fields of each record, described once. The scene files (the
// four number files and scene.conf), the JSON dump and the round-trip
// tests all walk these tables, so a field is added, renamed or given a
// range in one place.
//
// A field reads and writes its record through get and set, as a 64-bit
// number: unsigned fields read as their value, signed ones with their
// sign; set keeps the low bits the field holds, as a cast does. lo and hi
// bound what scene.conf may give the field (a number outside them makes
// the file damaged). in_number_file: the field is one of the record's
// lines in its number file (digit.conf, leduit.conf, string.conf,
// grape.conf), in table order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "scene/records.h"

template <class Record>
struct Record_field {
    const char* name;   // the JSON key
    int64_t (*get)(const Record& r);
    void (*set)(Record& r, int64_t v);
    int64_t lo, hi;
    bool in_number_file;
};

namespace record_fields_detail {

template <class>
struct Member;
template <class R, class T>
struct Member<T R::*> {
    using record = R;
    using type = T;
};

template <auto M>
int64_t get(const typename Member<decltype(M)>::record& r) {
    return static_cast<int64_t>(r.*M);
}

template <auto M>
void set(typename Member<decltype(M)>::record& r, int64_t v) {
    using T = typename Member<decltype(M)>::type;
    r.*M = static_cast<T>(v);
}

// A byte field takes 0..255; a 32-bit one any signed or unsigned 32-bit
// number (a negative one wraps into an unsigned field, as the files were
// always written).
template <class T>
constexpr int64_t default_lo() {
    return sizeof(T) == 1 ? 0 : int64_t{std::numeric_limits<int32_t>::min()};
}
template <class T>
constexpr int64_t default_hi() {
    return sizeof(T) == 1 ? 255 : int64_t{std::numeric_limits<uint32_t>::max()};
}

}  // namespace record_fields_detail

// The description of member M, named name.
template <auto M>
constexpr Record_field<typename record_fields_detail::Member<decltype(M)>::record> field(
    const char* name, bool in_number_file,
    int64_t lo = record_fields_detail::default_lo<typename record_fields_detail::Member<decltype(M)>::type>(),
    int64_t hi = record_fields_detail::default_hi<typename record_fields_detail::Member<decltype(M)>::type>()) {
    return {name, &record_fields_detail::get<M>, &record_fields_detail::set<M>, lo, hi, in_number_file};
}

// Each table lists a record's fields in scene.conf's order.
constexpr int32_t i32_lo = std::numeric_limits<int32_t>::min(), i32_hi = std::numeric_limits<int32_t>::max();

inline constexpr Record_field<led_unit> board_fields[] = {
    field<&led_unit::x>("x", true, i32_lo, i32_hi),
    field<&led_unit::y>("y", true, i32_lo, i32_hi),
    field<&led_unit::width>("width", true, i32_lo, i32_hi),
    field<&led_unit::height>("height", true, i32_lo, i32_hi),
};

// A text's bytes (the 512-byte text field) follow its numbers.
inline constexpr Record_field<string_draw> text_fields[] = {
    field<&string_draw::slot>("slot", false),
    field<&string_draw::x>("x", true),
    field<&string_draw::y>("y", true),
    field<&string_draw::pitch>("pitch", false, 0, 255),
    field<&string_draw::font_size>("font_size", false),
    field<&string_draw::text_source>("text_source", false),
    field<&string_draw::enabled>("enabled", false),
    field<&string_draw::width>("width", true),
    field<&string_draw::height>("height", true),
    field<&string_draw::colour>("colour", true),
    field<&string_draw::length>("length", false),
    field<&string_draw::bold_flag>("bold_flag", false),
};

inline constexpr Record_field<Digit_unit> digit_fields[] = {
    field<&Digit_unit::enabled>("enabled", false),
    field<&Digit_unit::id>("id", false),
    field<&Digit_unit::pitch>("pitch", false),
    field<&Digit_unit::x>("x", true),
    field<&Digit_unit::y>("y", true),
    field<&Digit_unit::width>("width", true),
    field<&Digit_unit::height>("height", true),
    field<&Digit_unit::spare_word>("spare_word", false),
    field<&Digit_unit::param_a>("param_a", true),
    field<&Digit_unit::param_b>("param_b", false),
    field<&Digit_unit::digits>("digits", true),
    field<&Digit_unit::colour>("colour", true),
    field<&Digit_unit::spare_byte>("spare_byte", false),
    field<&Digit_unit::type_code>("type_code", false),
    field<&Digit_unit::kind>("kind", false),
};

inline constexpr Record_field<graph_draw> graph_fields[] = {
    field<&graph_draw::x>("x", true, i32_lo, i32_hi),
    field<&graph_draw::y>("y", true, i32_lo, i32_hi),
    field<&graph_draw::width>("width", true, i32_lo, i32_hi),
    field<&graph_draw::height>("height", true, i32_lo, i32_hi),
    field<&graph_draw::in_use>("in_use", true, i32_lo, i32_hi),
};

// Copies every described field of from into to (what a file gives a
// record), leaving the rest of to as it is.
template <class Record, size_t N>
void copy_fields(const Record_field<Record> (&fields)[N], const Record& from, Record& to) {
    for (const Record_field<Record>& f : fields) f.set(to, f.get(from));
}

// Bytes as lower-case hex digits, two a byte.
std::string hex_of(const char* bytes, size_t n);

// Reads 2n hex digits (either case) into n bytes; false on any other
// character.
bool parse_hex(const char* hex, size_t n, char* bytes);
