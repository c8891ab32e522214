// Whole-file reads and the atomic file writer.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform.h"

namespace {

int failure_countdown = -1;   // operations left before the injected failure

Memory_folder* memory_folder = nullptr;   // the folder in memory in use, if any

// True when the next file operation is to fail (test seam).
bool injected_failure() {
    if (failure_countdown < 0) return false;
    if (failure_countdown-- == 0) {
        errno = ENOSPC;
        return true;
    }
    return false;
}

bool fail(std::string* err, const std::string& what, const char* path) {
    if (err) *err = "cannot " + what + " " + path + ": " + std::strerror(errno);
    return false;
}

// Flushes an open folder to the medium, so that a rename or a new name in
// it survives a crash. False with errno set: a medium that fails here (EIO,
// a stick pulled) may have lost the rename, and the write must say so.
bool sync_folder(int dir) {
    if (injected_failure()) return false;
    return fsync(dir) == 0;
}

// The folder of path: everything up to its last '/', or ".".
std::string folder_of(const char* path) {
    std::string folder(path);
    const size_t slash = folder.rfind('/');
    return slash == std::string::npos ? "." : folder.substr(0, slash + 1);
}

// sync_folder of path's folder.
bool sync_folder_of(const char* path) {
    const int dir = open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return false;
    const bool ok = sync_folder(dir);
    const int e = errno;
    close(dir);
    errno = e;
    return ok;
}

// Writes all n bytes to fd; false on an error.
bool write_all(int fd, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t w = injected_failure() ? -1 : write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// True when path is in the memory folder in use; *name gets its name there
// ("" for the folder itself).
bool in_memory(const char* path, std::string* name) {
    if (!memory_folder) return false;
    const std::string& root = memory_folder->root;
    if (root.empty() || std::strncmp(path, root.c_str(), root.size()) != 0) {
        // The root without its '/': the folder itself.
        if (root.size() < 2 || std::strlen(path) != root.size() - 1 ||
            std::strncmp(path, root.c_str(), root.size() - 1) != 0)
            return false;
        name->clear();
        return true;
    }
    *name = path + root.size();
    return true;
}

// The file name of the memory folder in use, or null when there is none:
// errno is then EISDIR for the folder itself, ENOENT otherwise (a missing
// file, or one in a subfolder, which memory folders have not).
std::vector<uint8_t>* memory_file(const std::string& name) {
    const auto it = memory_folder->files.find(name);
    if (it != memory_folder->files.end()) return &it->second;
    errno = name.empty() ? EISDIR : ENOENT;
    return nullptr;
}

// Whether name may be made in the memory folder (not the folder itself,
// not in a subfolder); errno set when not.
bool memory_name_ok(const std::string& name) {
    if (!name.empty() && name.find('/') == std::string::npos) return true;
    errno = name.empty() ? EISDIR : ENOENT;
    return false;
}

}  // namespace

namespace {

// The first max bytes of the regular file at path; with whole, a larger
// file is refused instead.
bool read_regular(const char* path, size_t max, bool whole, std::vector<uint8_t>* out, std::string* err) {
    out->clear();
    std::string name;
    if (in_memory(path, &name)) {
        const std::vector<uint8_t>* file = memory_file(name);
        if (!file && errno == EISDIR) {
            if (err) *err = std::string(path) + " is a folder, not a file";
            return false;
        }
        if (!file) return fail(err, "open", path);
        if (whole && file->size() > max) {
            errno = EFBIG;
            if (err) *err = std::string(path) + " is larger than " + std::to_string(max) + " bytes";
            return false;
        }
        out->assign(file->begin(), file->begin() + static_cast<std::ptrdiff_t>(std::min(file->size(), max)));
        return true;
    }
    // O_NONBLOCK: opening a FIFO with no writer must not wait for one (it
    // is refused below, as every file that is not a regular one).
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return fail(err, "open", path);
    struct stat st;
    if (fstat(fd, &st) != 0) {
        close(fd);
        return fail(err, "examine", path);
    }
    if (!S_ISREG(st.st_mode)) {
        close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        if (err)
            *err = std::string(path) + (S_ISDIR(st.st_mode) ? " is a folder, not a file"
                                                             : " is not a regular file (a device, pipe or socket)");
        return false;
    }
    if (whole && static_cast<uint64_t>(st.st_size) > max) {
        close(fd);
        errno = EFBIG;
        if (err) *err = std::string(path) + " is larger than " + std::to_string(max) + " bytes";
        return false;
    }
    out->resize(static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(st.st_size), max)));
    size_t done = 0;
    while (done < out->size()) {
        ssize_t r = read(fd, out->data() + done, out->size() - done);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            close(fd);
            out->clear();
            return fail(err, "read", path);
        }
        if (r == 0) break;   // the file shrank meanwhile: what was read counts
        done += static_cast<size_t>(r);
    }
    out->resize(done);
    close(fd);
    return true;
}

// What an output's path holds before it is written.
enum class Target { replace, in_place, refused };

// Judges what lies at name in folder dir (path: the same, for messages).
// A regular file, nothing or (in_place_ok false) a link is replaced; a
// FIFO or a character device (/dev/null, a terminal) is written in place
// when in_place_ok, as is a link to standard output (/dev/stdout); a
// folder, a block device, a socket, or any of them where writing in place
// makes no sense, is refused with a message, never replaced by a file.
Target judge_target(int dir, const char* name, const char* path, bool in_place_ok, std::string* err) {
    struct stat st;
    if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return Target::replace;   // nothing there
    if (S_ISREG(st.st_mode)) return Target::replace;
    if (S_ISLNK(st.st_mode)) {
        struct stat to, out;
        if (in_place_ok && fstatat(dir, name, &to, 0) == 0) {
            if (S_ISCHR(to.st_mode) || S_ISFIFO(to.st_mode)) return Target::in_place;
            if (fstat(STDOUT_FILENO, &out) == 0 && to.st_dev == out.st_dev && to.st_ino == out.st_ino)
                return Target::in_place;
        }
        return Target::replace;   // the link itself is replaced, never written through
    }
    if (in_place_ok && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) return Target::in_place;
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    if (err)
        *err = std::string(path) + (S_ISDIR(st.st_mode)   ? " is a folder; it is not replaced by a file"
                                    : S_ISBLK(st.st_mode) ? " is a block device; it is not replaced by a file"
                                    : S_ISCHR(st.st_mode) ? " is a device; it is not replaced by a file"
                                    : S_ISFIFO(st.st_mode) ? " is a FIFO; it is not replaced by a file"
                                                           : " is not a regular file; it is not replaced by one");
    return Target::refused;
}

// Writes n bytes into the FIFO, device or standard output at path, in
// place. A FIFO that nobody reads is refused rather than waited on.
bool write_in_place(int dir, const char* name, const char* path, const void* data, size_t n, std::string* err) {
    const int fd = openat(dir, name, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ENXIO) {
        if (err) *err = std::string(path) + " is a FIFO that nobody reads; nothing was written";
        return false;
    }
    if (fd < 0) return fail(err, "open", path);
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    bool ok = write_all(fd, data, n);
    const int saved = errno;
    if (close(fd) != 0 && ok) ok = false;
    if (!ok) {
        errno = saved;
        return fail(err, "write", path);
    }
    return true;
}

// A fresh name for a temporary of name: NAME.tmp-XXXXXX.
std::string temporary_name(const char* name, uint64_t* seed) {
    static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    *seed = *seed * 6364136223846793005ull + static_cast<uint64_t>(now.tv_nsec) + 1442695040888963407ull;
    std::string tmp = std::string(name) + ".tmp-";
    for (int i = 0; i < 6; ++i) tmp += letters[(*seed >> (8 * i + 5)) % (sizeof letters - 1)];
    return tmp;
}

// A temporary in dir, locked before any other program can see it under
// its name, and named *tmp. Where the medium can (not vfat), the file is
// made nameless (O_TMPFILE), locked, then linked in. Otherwise it is made
// under its name and locked at once, and it counts only if the name still
// leads to it: a cleaner of stale temporaries that took the name away in
// the instant before the lock sends the writer to another name. -1 when no
// temporary can be made (errno set).
int locked_temporary(int dir, const char* name, std::string* tmp) {
    uint64_t seed = static_cast<uint64_t>(getpid()) * 0x9E3779B97F4A7C15ull ^ reinterpret_cast<uintptr_t>(tmp);
    if (injected_failure()) return -1;
    int fd = openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    if (fd >= 0) {
        flock(fd, LOCK_EX);
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
        for (int attempt = 0; attempt < 100; ++attempt) {
            *tmp = temporary_name(name, &seed);
            if (linkat(AT_FDCWD, self, dir, tmp->c_str(), AT_SYMLINK_FOLLOW) == 0) return fd;
            if (errno != EEXIST) break;
        }
        close(fd);   // no /proc, say: the named way below
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        *tmp = temporary_name(name, &seed);
        fd = openat(dir, tmp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return -1;
        flock(fd, LOCK_EX);
        struct stat mine, named;
        if (fstat(fd, &mine) == 0 && fstatat(dir, tmp->c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            mine.st_dev == named.st_dev && mine.st_ino == named.st_ino)
            return fd;
        close(fd);   // a cleaner removed it before the lock: another name
    }
    errno = EEXIST;
    return -1;
}

// Replaces name in the open folder dir with n bytes (path: the same, for
// messages). The bytes go to a locked temporary, are flushed, and the
// temporary is renamed over name while still locked (a cleaner of stale
// temporaries never takes a live one); then the folder is flushed, and a
// failure of that flush fails the write. A FIFO or device is written in
// place when in_place_ok; see judge_target for what is refused.
bool replace_in(int dir, const char* name, const char* path, bool in_place_ok, const void* data, size_t n,
                std::string* err) {
    switch (judge_target(dir, name, path, in_place_ok, err)) {
        case Target::refused: return false;
        case Target::in_place: return write_in_place(dir, name, path, data, n, err);
        case Target::replace: break;
    }
    std::string tmp;
    const int fd = locked_temporary(dir, name, &tmp);
    if (fd < 0) return fail(err, "create a temporary file for", path);
    bool ok = write_all(fd, data, n) && !injected_failure() && fsync(fd) == 0;
    if (!ok) {
        const int saved = errno;
        unlinkat(dir, tmp.c_str(), 0);
        close(fd);
        errno = saved;
        return fail(err, "write", (folder_of(path) + tmp).c_str());
    }
    if (injected_failure() || renameat(dir, tmp.c_str(), dir, name) != 0) {
        const int e = errno;
        unlinkat(dir, tmp.c_str(), 0);
        close(fd);
        errno = e;
        return fail(err, "replace", path);
    }
    ok = sync_folder(dir);   // the rename itself, durable
    const int saved = errno;
    if (close(fd) != 0 && ok) ok = false;   // (the data was flushed above; close reports late errors)
    if (!ok) {
        errno = saved;
        return fail(err, "flush the folder of", path);
    }
    return true;
}

}  // namespace

bool platform_read_file(const char* path, size_t max, std::vector<uint8_t>* out,
                        std::string* err) {
    return read_regular(path, max, true, out, err);
}

bool platform_read_file_head(const char* path, size_t max, std::vector<uint8_t>* out,
                             std::string* err) {
    return read_regular(path, max, false, out, err);
}

bool platform_is_folder(const char* path) {
    std::string name;
    if (in_memory(path, &name)) return name.empty();
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool platform_write_at(const char* path, uint64_t offset, const void* data, size_t n,
                       std::string* err) {
    std::string name;
    if (in_memory(path, &name)) {
        std::vector<uint8_t>* file = memory_file(name);
        if (!file || (n > 0 && injected_failure())) return fail(err, file ? "write" : "open", path);
        const auto* bytes = static_cast<const uint8_t*>(data);
        if (n > 0 && file->size() < offset + n) file->resize(static_cast<size_t>(offset + n));
        std::copy(bytes, bytes + n, file->begin() + static_cast<std::ptrdiff_t>(offset));
        return true;
    }
    int fd = open(path, O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return fail(err, "open", path);
    bool ok = lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0 && write_all(fd, data, n);
    const int saved = errno;
    if (close(fd) != 0 && ok) ok = false;
    if (!ok) {
        errno = saved;
        return fail(err, "write", path);
    }
    return true;
}

bool platform_write_file_atomic(const char* path, const void* data, size_t n, std::string* err) {
    std::string name;
    if (in_memory(path, &name)) {
        if (!memory_name_ok(name) || injected_failure()) return fail(err, "write", path);
        const auto* bytes = static_cast<const uint8_t*>(data);
        memory_folder->files[name].assign(bytes, bytes + n);
        return true;
    }
    const int dir = open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return fail(err, "open the folder of", path);
    const char* slash = std::strrchr(path, '/');
    const bool ok = replace_in(dir, slash ? slash + 1 : path, path, true, data, n, err);
    close(dir);
    return ok;
}

Platform_folder::Platform_folder(Platform_folder&& other) noexcept : fd(other.fd), path(std::move(other.path)) {
    other.fd = -1;
}

Platform_folder& Platform_folder::operator=(Platform_folder&& other) noexcept {
    if (this != &other) {
        if (fd >= 0) close(fd);
        fd = other.fd;
        path = std::move(other.path);
        other.fd = -1;
    }
    return *this;
}

Platform_folder::~Platform_folder() {
    if (fd >= 0) close(fd);
}

bool platform_open_folder(const char* path, Platform_folder* out, std::string* err) {
    std::string name;
    if (in_memory(path, &name)) {
        if (!name.empty()) {
            errno = memory_folder->files.count(name) ? ENOTDIR : ENOENT;
            return fail(err, "open the folder", path);
        }
        Platform_folder f;   // no descriptor: nothing on disk to hold
        f.path = path;
        *out = std::move(f);
        return true;
    }
    const int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return fail(err, "open the folder", path);
    Platform_folder f;
    f.fd = fd;
    f.path = path;
    *out = std::move(f);
    return true;
}

bool platform_open_subfolder(const Platform_folder& parent, const char* name, Platform_folder* out,
                             std::string* err) {
    const std::string path = parent.path + "/" + name;
    if (mkdirat(parent.fd, name, 0755) != 0 && errno != EEXIST) return fail(err, "create", path.c_str());
    const int fd = openat(parent.fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        struct stat st;
        if (fstatat(parent.fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
            if (err) *err = path + " is a link; nothing is written through it";
        } else if (e == ENOTDIR) {
            if (err) *err = "cannot create " + path + ": a file of that name is in the way";
        } else {
            errno = e;
            fail(err, "open the folder", path.c_str());
        }
        return false;
    }
    Platform_folder f;
    f.fd = fd;
    f.path = path;
    *out = std::move(f);
    return true;
}

bool platform_write_file_atomic_in(const Platform_folder& folder, const char* name, const void* data, size_t n,
                                   std::string* err) {
    const std::string path = folder.path + "/" + name;
    return replace_in(folder.fd, name, path.c_str(), false, data, n, err);
}

int platform_remove_stale_temporaries(const Platform_folder& folder, const char* const* names, int count) {
    const int fd = folder.fd < 0 ? -1 : dup(folder.fd);
    if (fd < 0) return 0;
    DIR* d = fdopendir(fd);
    if (!d) {
        close(fd);
        return 0;
    }
    int removed = 0;
    while (const dirent* e = readdir(d)) {
        const char* entry = e->d_name;
        for (int k = 0; k < count; ++k) {
            const size_t n = std::strlen(names[k]);
            if (std::strncmp(entry, names[k], n) != 0 || std::strncmp(entry + n, ".tmp-", 5) != 0) continue;
            const char* tail = entry + n + 5;
            bool pattern = std::strlen(tail) == 6;
            for (int i = 0; pattern && i < 6; ++i) pattern = std::isalnum(static_cast<unsigned char>(tail[i])) != 0;
            struct stat st;
            if (!pattern || fstatat(folder.fd, entry, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) break;
            // A writer holds its temporary locked until it is renamed; one
            // that can be locked belongs to a writer that is gone.
            const int t = openat(folder.fd, entry, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (t < 0) break;
            if (flock(t, LOCK_EX | LOCK_NB) == 0 && unlinkat(folder.fd, entry, 0) == 0) ++removed;
            close(t);
            break;
        }
    }
    closedir(d);
    return removed;
}

New_file platform_write_new_file(const char* path, const void* data, size_t n, std::string* err) {
    std::string name;
    if (in_memory(path, &name)) {
        if (injected_failure()) return fail(err, "create", path), New_file::failed;
        if (memory_folder->files.count(name)) return New_file::taken;
        if (!memory_name_ok(name)) return fail(err, "create", path), New_file::failed;
        const auto* bytes = static_cast<const uint8_t*>(data);
        memory_folder->files[name].assign(bytes, bytes + n);
        return New_file::written;
    }
    const int fd = injected_failure() ? -1 : open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) return New_file::taken;
    if (fd < 0) return fail(err, "create", path), New_file::failed;
    bool ok = write_all(fd, data, n) && !injected_failure() && fsync(fd) == 0;
    const int saved = errno;
    if (close(fd) != 0 && ok) ok = false;
    if (!ok) {
        errno = saved;
        unlink(path);
        return fail(err, "write", path), New_file::failed;
    }
    if (!sync_folder_of(path)) return fail(err, "flush the folder of", path), New_file::failed;
    return New_file::written;
}

std::FILE* platform_open_log(const char* path, std::string* err) {
    // O_NONBLOCK: a FIFO's open must not wait for a reader before it is refused.
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0 && (errno == ENXIO || errno == ELOOP)) {   // a FIFO without a reader; a link
        if (err) *err = std::string(path) + (errno == ELOOP ? ": a link; a log is not written through one"
                                                            : ": not a regular file");
        return nullptr;
    }
    if (fd < 0) return fail(err, "open", path), nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = EINVAL;
        if (err) *err = std::string(path) + ": not a regular file";
        return nullptr;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* f = fdopen(fd, "a");
    if (!f) {
        close(fd);
        fail(err, "open", path);
    }
    return f;
}

New_file platform_rename_new(const char* from, const char* to, std::string* err) {
    std::string name, new_name;
    const bool from_memory = in_memory(from, &name), to_memory = in_memory(to, &new_name);
    if (from_memory || to_memory) {
        if (injected_failure()) return fail(err, "rename", from), New_file::failed;
        std::vector<uint8_t>* file = from_memory ? memory_file(name) : nullptr;
        if (!from_memory || !to_memory) errno = EXDEV;   // between memory and the disk: no rename
        if (!file || !to_memory) return fail(err, "rename", from), New_file::failed;
        if (memory_folder->files.count(new_name)) return New_file::taken;
        if (!memory_name_ok(new_name)) return fail(err, "rename", from), New_file::failed;
        std::vector<uint8_t> bytes = std::move(*file);
        memory_folder->files.erase(name);
        memory_folder->files[new_name] = std::move(bytes);
        return New_file::written;
    }
    if (injected_failure() || renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) != 0) {
        if (errno == EEXIST) return New_file::taken;
        return fail(err, "rename", from), New_file::failed;
    }
    if (!sync_folder_of(to)) return fail(err, "flush the folder of", to), New_file::failed;
    return New_file::written;
}

void platform_inject_write_failure(int k) { failure_countdown = k; }

Injected_write_failure::Injected_write_failure(int k) : previous_(failure_countdown) { failure_countdown = k; }

Injected_write_failure::~Injected_write_failure() { failure_countdown = previous_; }

Memory_folder_in_use::Memory_folder_in_use(Memory_folder& folder) : previous_(memory_folder) {
    memory_folder = &folder;
}

Memory_folder_in_use::~Memory_folder_in_use() { memory_folder = previous_; }

bool platform_make_private_folders(const char* path, std::string* err) {
    const std::string whole = path;
    // Each folder from the top down; a trailing '/' adds nothing.
    for (size_t end = 1; end <= whole.size(); ++end) {
        if (end < whole.size() && whole[end] != '/') continue;
        const std::string part = whole.substr(0, end);
        if (part.empty() || part == "/") continue;
        if (mkdir(part.c_str(), 0700) == 0) continue;
        const int e = errno;
        struct stat st;
        if (e == EEXIST && stat(part.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
        if (err)
            *err = std::string("cannot create ") + part + ": " +
                   (e == EEXIST ? std::string("a file of that name is in the way") : std::strerror(e));
        return false;
    }
    return true;
}

bool platform_copy_if_absent(const char* from, const char* to, size_t max, bool* copied, std::string* err) {
    if (copied) *copied = false;
    struct stat st;
    std::string name;
    if (in_memory(to, &name) ? memory_folder->files.count(name) > 0 : lstat(to, &st) == 0) return true;
    std::vector<uint8_t> bytes;
    if (!platform_read_file(from, max, &bytes, err)) {
        if (errno != ENOENT) return false;
        if (err) err->clear();   // nothing to copy: not a failure
        return true;
    }
    switch (platform_write_new_file(to, bytes.data(), bytes.size(), err)) {
        case New_file::written:
            if (copied) *copied = true;
            return true;
        case New_file::taken: return true;   // made meanwhile by someone else: theirs stands
        case New_file::failed: break;
    }
    return false;
}

Platform_lock::Platform_lock(Platform_lock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

Platform_lock& Platform_lock::operator=(Platform_lock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

Platform_lock::~Platform_lock() {
    if (fd_ >= 0) close(fd_);   // closing lets go of the lock
}

Lock_outcome platform_lock_file(const char* path, bool exclusive, bool create, int timeout_ms, Platform_lock* out,
                                std::string* err) {
    *out = Platform_lock();
    std::string name;
    if (in_memory(path, &name)) {
        if (!memory_folder->files.count(name)) {
            if (!create) return Lock_outcome::absent;
            if (!memory_name_ok(name)) return fail(err, "open the lock file", path), Lock_outcome::failed;
            memory_folder->files[name];
        }
        return Lock_outcome::locked;   // granted: no other process shares a memory folder
    }
    const int fd = open(path, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
    if (fd < 0 && errno == ENOENT && !create) return Lock_outcome::absent;
    if (fd < 0) return fail(err, "open the lock file", path), Lock_outcome::failed;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        if (err) *err = std::string(path) + " is not a regular file; nothing is locked";
        return Lock_outcome::failed;
    }
    // Saves and loads take milliseconds: poll for the holder to let go,
    // often enough to find the gap between one save and the next.
    struct timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    while (flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long waited = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (errno != EWOULDBLOCK || waited >= timeout_ms) {
            const bool busy = errno == EWOULDBLOCK;
            if (!busy) fail(err, "lock", path);
            else if (err) *err = std::string(path) + " stayed locked for " + std::to_string(timeout_ms) + " ms";
            close(fd);
            return busy ? Lock_outcome::busy : Lock_outcome::failed;
        }
        const struct timespec step = {0, 1000 * 1000};
        nanosleep(&step, nullptr);
    }
    out->fd_ = fd;
    return Lock_outcome::locked;
}
