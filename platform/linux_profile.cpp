// Private-profile (INI) reading on top of inih.
#include <ini.h>
#include <strings.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

struct Lookup {
    const char* section;
    const char* key;
    char* out;
    size_t cap;
    bool found;
    bool cut;
};

// Copies src into out (cap bytes), dropping one pair of enclosing quotes.
void copy_value(Lookup* q, const char* src) {
    size_t len = std::strlen(src);
    if (len >= 2 && (src[0] == '"' || src[0] == '\'') && src[len - 1] == src[0]) {
        ++src;
        len -= 2;
    }
    q->cut = len > q->cap - 1;
    if (q->cut) len = q->cap - 1;
    std::memcpy(q->out, src, len);
    q->out[len] = '\0';
}

int on_entry(void* user, const char* section, const char* name, const char* value) {
    Lookup* q = static_cast<Lookup*>(user);
    if (q->found) return 1;
    if (strcasecmp(section, q->section) != 0 || strcasecmp(name, q->key) != 0) return 1;
    copy_value(q, value);
    q->found = true;
    return 1;
}

// Line reader for inih. Strips leading blanks, so an indented key reads like
// any other line (Windows knows no continuation lines), and consumes the
// whole physical line even when it is longer than inih's line buffer, so a
// long line never spills over into a second one.
char* read_line(char* str, int num, void* stream) {
    FILE* f = static_cast<FILE*>(stream);
    int c = std::fgetc(f);
    if (c == EOF) return nullptr;
    while (c == ' ' || c == '\t') c = std::fgetc(f);
    int n = 0;
    while (c != EOF && c != '\n') {
        if (n < num - 2) str[n++] = static_cast<char>(c);
        c = std::fgetc(f);
    }
    str[n++] = '\n';
    str[n] = '\0';
    return str;
}

}  // namespace

size_t platform_read_profile_string(const char* section, const char* key,
                                    const char* default_text, char* out, size_t cap,
                                    const char* path, bool* cut) {
    if (cut) *cut = false;
    if (cap == 0) return 0;
    Lookup q{section, key, out, cap, false, false};
    FILE* f = std::fopen(path, "rb");
    if (f) {
        ini_parse_stream(read_line, f, on_entry, &q);
        std::fclose(f);
    }
    if (!q.found) copy_value(&q, default_text);
    if (cut) *cut = q.cut;
    return std::strlen(out);
}
