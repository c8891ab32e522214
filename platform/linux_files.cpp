// Whole-file reads and the atomic file writer.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform.h"

namespace {

int failure_countdown = -1;   // operations left before the injected failure

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

// Flushes the folder of path to the medium, so that a rename or a new
// name in it survives a crash.
void sync_folder_of(const char* path) {
    std::string folder(path);
    const size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? "." : folder.substr(0, slash + 1);
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
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

}  // namespace

namespace {

// The first max bytes of the regular file at path; with whole, a larger
// file is refused instead.
bool read_regular(const char* path, size_t max, bool whole, std::vector<uint8_t>* out, std::string* err) {
    out->clear();
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
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool platform_write_at(const char* path, uint64_t offset, const void* data, size_t n,
                       std::string* err) {
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
    // A unique temporary beside the target, created exclusively: a leftover
    // or planted file (or link) of that name is never written through.
    std::string tmp = std::string(path) + ".tmp-XXXXXX";
    int fd = injected_failure() ? -1 : mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return fail(err, "create a temporary file for", path);
    flock(fd, LOCK_EX);   // in use: a cleaner of stale temporaries passes it over
    bool ok = fchmod(fd, 0644) == 0 && write_all(fd, data, n) && !injected_failure() && fsync(fd) == 0;
    const int saved = errno;
    if (close(fd) != 0 && ok) ok = false;
    if (!ok) {
        errno = saved;
        unlink(tmp.c_str());
        return fail(err, "write", tmp.c_str());
    }
    if (injected_failure() || rename(tmp.c_str(), path) != 0) {
        const int e = errno;
        unlink(tmp.c_str());
        errno = e;
        return fail(err, "replace", path);
    }
    sync_folder_of(path);   // the rename itself, durable
    return true;
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
    // A unique temporary beside the target, created exclusively, as
    // mkostemp names them: NAME.tmp-XXXXXX.
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string tmp;
    int fd = -1;
    uint64_t seed = static_cast<uint64_t>(getpid()) * 0x9E3779B97F4A7C15ull ^ reinterpret_cast<uintptr_t>(&tmp);
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        seed = seed * 6364136223846793005ull + static_cast<uint64_t>(now.tv_nsec) + 1442695040888963407ull;
        tmp = std::string(name) + ".tmp-";
        for (int i = 0; i < 6; ++i) tmp += letters[(seed >> (8 * i + 5)) % (sizeof letters - 1)];
        fd = injected_failure() ? -1
                                : openat(folder.fd, tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                         0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return fail(err, "create a temporary file for", path.c_str());
    flock(fd, LOCK_EX);   // in use: a cleaner of stale temporaries passes it over
    bool ok = write_all(fd, data, n) && !injected_failure() && fsync(fd) == 0;
    const int saved = errno;
    if (close(fd) != 0 && ok) ok = false;
    if (!ok) {
        errno = saved;
        unlinkat(folder.fd, tmp.c_str(), 0);
        return fail(err, "write", (folder.path + "/" + tmp).c_str());
    }
    if (injected_failure() || renameat(folder.fd, tmp.c_str(), folder.fd, name) != 0) {
        const int e = errno;
        unlinkat(folder.fd, tmp.c_str(), 0);
        errno = e;
        return fail(err, "replace", path.c_str());
    }
    fsync(folder.fd);   // the rename itself, durable
    return true;
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
    sync_folder_of(path);
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
    if (injected_failure() || renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) != 0) {
        if (errno == EEXIST) return New_file::taken;
        return fail(err, "rename", from), New_file::failed;
    }
    sync_folder_of(to);
    return New_file::written;
}

void platform_inject_write_failure(int k) { failure_countdown = k; }

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
    if (lstat(to, &st) == 0) return true;
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
