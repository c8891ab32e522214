// Private-profile (INI) reading: a small reader of its own that takes
// lines of any length, keeping only what the lookup needs of each (the
// section name, the key, the value up to the caller's buffer), so a long
// line costs no memory and never spills over into the next one.
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// A name or value as it is read: leading and trailing blanks dropped, only
// its first `keep` bytes stored, however long the line is.
class Field {
public:
    explicit Field(size_t keep) : bytes_(keep) {}
    void clear() { all_ = len_ = 0; }
    void add(char c) {
        if (all_ == 0 && blank(c)) return;
        if (all_ < bytes_.size()) bytes_[all_] = c;
        ++all_;
        if (!blank(c)) len_ = all_, last_ = c;
    }
    // True when the trimmed text is name, case-blind.
    bool is(const char* name) const {
        const size_t n = std::strlen(name);
        return len_ == n && n <= bytes_.size() && strncasecmp(bytes_.data(), name, n) == 0;
    }
    const char* data() const { return bytes_.data(); }
    size_t size() const { return len_; }   // the whole trimmed length, stored or not
    char last() const { return len_ ? last_ : '\0'; }

private:
    std::vector<char> bytes_;
    size_t all_ = 0;   // bytes since the first non-blank
    size_t len_ = 0;   // bytes up to and including the last non-blank
    char last_ = '\0';
};

// The lookup of one key, fed the file a byte at a time. The first
// occurrence of the key in any section of that name wins.
class Lookup {
public:
    Lookup(const char* section, const char* key, size_t cap)
        : section_(section), key_(key), section_name_(std::strlen(section) + 1),
          key_name_(std::strlen(key) + 1), value_(cap + 1),   // the value and a pair of quotes
          in_section_(section[0] == '\0') {}                  // keys before any section header

    bool found() const { return found_; }
    const Field& value() const { return value_; }

    void feed(char c) {
        if (c == '\n') return end_line();
        switch (part_) {
            case Part::line_start:   // leading blanks are skipped: no continuation lines
                if (blank(c)) return;
                if (c == '[') {
                    section_name_.clear();
                    part_ = Part::section;
                } else if (c == ';' || c == '#') {
                    part_ = Part::skip;   // a comment line
                } else {
                    key_name_.clear();
                    key_name_.add(c);
                    part_ = Part::key;
                }
                return;
            case Part::section:   // a header without its ']' leaves the section as it was
                if (c == ']') {
                    in_section_ = section_name_.is(section_);
                    part_ = Part::skip;
                } else {
                    section_name_.add(c);
                }
                return;
            case Part::key:   // a line without '=' is no entry
                if (c != '=') return key_name_.add(c);
                if (in_section_ && key_name_.is(key_)) {
                    value_.clear();
                    part_ = Part::value;
                } else {
                    part_ = Part::skip;
                }
                return;
            case Part::value: return value_.add(c);
            case Part::skip: return;
        }
    }

    void end_line() {
        if (part_ == Part::value) found_ = true;
        part_ = Part::line_start;
    }

private:
    enum class Part { line_start, section, key, value, skip };
    const char* section_;
    const char* key_;
    Field section_name_, key_name_, value_;
    bool in_section_;
    Part part_ = Part::line_start;
    bool found_ = false;
};

// Copies text (len bytes) into out (cap > 0 bytes, NUL-terminated),
// dropping one pair of enclosing quotes. Returns true when it was cut.
bool copy_value(const char* text, size_t len, char last, char* out, size_t cap) {
    if (len >= 2 && (text[0] == '"' || text[0] == '\'') && last == text[0]) {
        ++text;
        len -= 2;
    }
    const bool cut = len > cap - 1;
    if (cut) len = cap - 1;
    std::memcpy(out, text, len);
    out[len] = '\0';
    return cut;
}

// Runs the lookup over the regular file at path; anything else (missing,
// a folder, a device, a pipe) reads as a missing file.
void scan_file(const char* path, Lookup& q) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);   // a pipe must not block
    if (fd < 0) return;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= profile_file_limit) {
        char chunk[4096];
        bool first = true;
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            size_t i = 0;
            if (first && n >= 3 && std::memcmp(chunk, "\xEF\xBB\xBF", 3) == 0) i = 3;   // UTF-8 mark
            first = false;
            for (; i < static_cast<size_t>(n) && !q.found(); ++i) q.feed(chunk[i]);
            if (q.found()) break;
        }
        q.end_line();   // a last line without its line feed
    }
    ::close(fd);
}

}  // namespace

size_t platform_read_profile_string(const char* section, const char* key,
                                    const char* default_text, char* out, size_t cap,
                                    const char* path, bool* cut) {
    if (cut) *cut = false;
    if (cap == 0) return 0;
    Lookup q(section, key, cap);
    scan_file(path, q);
    bool was_cut;
    if (q.found()) {
        was_cut = copy_value(q.value().data(), q.value().size(), q.value().last(), out, cap);
    } else {
        const size_t n = std::strlen(default_text);
        was_cut = copy_value(default_text, n, n ? default_text[n - 1] : '\0', out, cap);
    }
    if (cut) *cut = was_cut;
    return std::strlen(out);
}
