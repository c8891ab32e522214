#include "app/autosave.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <type_traits>
#include <vector>

#include "platform/platform.h"

namespace {

static_assert(std::is_trivially_copyable_v<Scene>, "the recovery copy is the scene's bytes");

constexpr char magic[16] = "vantiro-recover";   // 15 characters and the NUL

// What a copy begins with. layout: this build's Scene, as a number that
// changes with its size and the places of a few fields.
struct Header {
    char magic[16];
    uint64_t layout;
    int64_t written_at;   // seconds since the epoch
    uint64_t checksum;    // FNV-1a of the scene's bytes
    uint64_t size;        // sizeof(Scene)
};

uint64_t layout_of_scene() {
    return uint64_t{sizeof(Scene)} * 1000003u ^ uint64_t{offsetof(Scene, text_count)} << 32 ^
           uint64_t{offsetof(Scene, string_draws)} << 8 ^ uint64_t{sizeof(string_draw)} << 48 ^
           uint64_t{sizeof(Digit_unit)} << 40;
}

uint64_t fnv1a(const uint8_t* p, size_t n) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

}  // namespace

Autosave::~Autosave() { stop(); }

bool Autosave::start(const std::string& path, uint64_t changes, std::string* err) {
    path_ = path;
    copied_changes_ = changes;
    handed_.reset(new (std::nothrow) Scene);
    writing_.reset(new (std::nothrow) Scene);
    if (!handed_ || !writing_) {
        *err = "autosave: no memory for the recovery copy; edits are kept only by ×";
        handed_.reset();
        writing_.reset();
        return false;
    }
    stopping_ = false;
    writer_ = std::thread([this] { run(); });
    return true;
}

int64_t Autosave::tick(const Scene& scene, uint64_t changes, int64_t now_ms) {
    if (!writer_.joinable() || changes == copied_changes_) return -1;
    const int64_t due = last_copy_ms_ + interval_ms - now_ms;
    if (due > 0) return due;
    {
        std::lock_guard<std::mutex> g(lock_);
        std::memcpy(static_cast<void*>(handed_.get()), static_cast<const void*>(&scene), sizeof scene);
        copied_at_s_ = static_cast<int64_t>(std::time(nullptr));
        have_copy_ = true;
    }
    wake_.notify_one();
    copied_changes_ = changes;
    last_copy_ms_ = now_ms;
    return -1;
}

void Autosave::run() {
    std::vector<uint8_t> bytes(sizeof(Header) + sizeof(Scene));
    for (;;) {
        int64_t written_at = 0;
        {
            std::unique_lock<std::mutex> g(lock_);
            wake_.wait(g, [this] { return have_copy_ || stopping_; });
            if (!have_copy_) return;   // stopping, nothing left to write
            handed_.swap(writing_);
            have_copy_ = false;
            written_at = copied_at_s_;
        }
        Header h{};
        std::memcpy(h.magic, magic, sizeof magic);
        h.layout = layout_of_scene();
        h.written_at = written_at;
        h.size = sizeof(Scene);
        const auto* scene_bytes = reinterpret_cast<const uint8_t*>(writing_.get());
        h.checksum = fnv1a(scene_bytes, sizeof(Scene));
        std::memcpy(bytes.data(), &h, sizeof h);
        std::memcpy(bytes.data() + sizeof h, scene_bytes, sizeof(Scene));
        std::string err;
        if (!platform_write_file_atomic(path_.c_str(), bytes.data(), bytes.size(), &err)) {
            {
                std::lock_guard<std::mutex> g(lock_);
                failure_ = "autosave: " + err + "; the edits are kept only by ×";
            }
            platform_wake_main();   // the status line says it now
        }
    }
}

std::string Autosave::take_failure() {
    std::lock_guard<std::mutex> g(lock_);
    std::string out;
    out.swap(failure_);
    return out;
}

void Autosave::stop() {
    if (!writer_.joinable()) return;
    {
        std::lock_guard<std::mutex> g(lock_);
        stopping_ = true;
    }
    wake_.notify_one();
    writer_.join();
}

void Autosave::discard() {
    {
        std::lock_guard<std::mutex> g(lock_);
        have_copy_ = false;   // what is not written yet never will be
    }
    stop();
    if (!path_.empty()) std::remove(path_.c_str());
}

Recovery read_recovery(const std::string& path, Scene* scene, int64_t* written_at, std::string* why) {
    std::vector<uint8_t> bytes;
    std::string err;
    if (!platform_read_file(path.c_str(), sizeof(Header) + sizeof(Scene) + 1, &bytes, &err)) {
        if (errno == ENOENT) return Recovery::none;
        *why = err;
        return Recovery::damaged;
    }
    Header h{};
    if (bytes.size() < sizeof h) {
        *why = "it is cut short";
        return Recovery::damaged;
    }
    std::memcpy(&h, bytes.data(), sizeof h);
    if (std::memcmp(h.magic, magic, sizeof magic) != 0) {
        *why = "it is no recovery copy";
        return Recovery::damaged;
    }
    if (h.layout != layout_of_scene() || h.size != sizeof(Scene)) {
        *why = "another version of the program wrote it";
        return Recovery::other_build;
    }
    if (bytes.size() != sizeof h + sizeof(Scene) || fnv1a(bytes.data() + sizeof h, sizeof(Scene)) != h.checksum) {
        *why = "its bytes do not match their checksum";
        return Recovery::damaged;
    }
    std::memcpy(static_cast<void*>(scene), bytes.data() + sizeof h, sizeof(Scene));
    *written_at = h.written_at;
    return Recovery::recovered;
}
