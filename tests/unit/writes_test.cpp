// The atomic writer against what else lies at its target and what else runs
// beside it: a FIFO, a device, a folder, a socket at the path; a cleaner of
// stale temporaries in a tight loop.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <vector>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "tests/unit/temp_dir.h"

namespace {

std::string slurp_fd(int fd) {
    std::string out;
    char buf[256];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    return out;
}

mode_t type_at(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

}  // namespace

// A FIFO with a reader and a character device are written in place and
// stay what they are; a FIFO nobody reads, a folder and a socket are
// refused, named, and left alone. Both writers (by path, inside a folder)
// keep to it.
TEST(Atomic_writer, OnlyARegularFileIsReplaced) {
    Temp_dir dir;
    std::string err;

    const std::string fifo = dir.path() + "/screen.png";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(platform_write_file_atomic(fifo.c_str(), "abc", 3, &err));
    EXPECT_NE(err.find("a FIFO that nobody reads"), std::string::npos) << err;
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ASSERT_TRUE(platform_write_file_atomic(fifo.c_str(), "picture", 7, &err)) << err;
    fcntl(reader, F_SETFL, 0);
    EXPECT_EQ(slurp_fd(reader), "picture");
    close(reader);
    EXPECT_EQ(type_at(fifo), static_cast<mode_t>(S_IFIFO));

    // A link to standard output is written through to it (here a file the
    // test reads back), not replaced.
    const std::string out_file = dir.path() + "/captured";
    const int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(out, 0);
    const int saved_stdout = dup(STDOUT_FILENO);
    ASSERT_GE(dup2(out, STDOUT_FILENO), 0);
    const std::string to_stdout = dir.path() + "/stdout";
    ASSERT_EQ(symlink("/proc/self/fd/1", to_stdout.c_str()), 0);
    const bool wrote = platform_write_file_atomic(to_stdout.c_str(), "on stdout", 9, &err);
    dup2(saved_stdout, STDOUT_FILENO);
    close(saved_stdout);
    close(out);
    EXPECT_TRUE(wrote) << err;
    EXPECT_EQ(type_at(to_stdout), static_cast<mode_t>(S_IFLNK));
    EXPECT_EQ(dir.read("captured"), "on stdout");

    const std::string folder = dir.path() + "/flash.bin";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    EXPECT_FALSE(platform_write_file_atomic(folder.c_str(), "x", 1, &err));
    EXPECT_NE(err.find("is a folder; it is not replaced"), std::string::npos) << err;
    EXPECT_EQ(type_at(folder), static_cast<mode_t>(S_IFDIR));

    const std::string socket_path = dir.path() + "/sock";
    const int sock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(socket_path.size(), sizeof addr.sun_path);
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socket_path.c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_FALSE(platform_write_file_atomic(socket_path.c_str(), "x", 1, &err));
    EXPECT_EQ(type_at(socket_path), static_cast<mode_t>(S_IFSOCK));
    close(sock);

    // Inside a folder (the export's files): a FIFO is refused, not written.
    Platform_folder here;
    ASSERT_TRUE(platform_open_folder(dir.path().c_str(), &here, &err)) << err;
    EXPECT_FALSE(platform_write_file_atomic_in(here, "screen.png", "x", 1, &err));
    EXPECT_NE(err.find("is a FIFO; it is not replaced"), std::string::npos) << err;
    EXPECT_EQ(type_at(fifo), static_cast<mode_t>(S_IFIFO));
    EXPECT_FALSE(platform_write_file_atomic_in(here, "flash.bin", "x", 1, &err));
    EXPECT_EQ(type_at(folder), static_cast<mode_t>(S_IFDIR));

    // A device node (made here, as root only): written in place, still a device.
    const std::string device = dir.path() + "/null";
    if (mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        EXPECT_TRUE(platform_write_file_atomic(device.c_str(), "gone", 4, &err)) << err;
        EXPECT_EQ(type_at(device), static_cast<mode_t>(S_IFCHR));
    }
}

// A writer's temporary is its own from the moment it has a name until it
// is renamed: cleaners running beside hundreds of writes never take
// one, so no write fails and no temporary is left.
TEST(Atomic_writer, ACleanerBesideItNeverTakesALiveTemporary) {
    Temp_dir dir;
    std::string err;
    Platform_folder here;
    ASSERT_TRUE(platform_open_folder(dir.path().c_str(), &here, &err)) << err;
    const char* const names[] = {"scene.conf"};
    std::atomic<bool> done{false};
    std::atomic<long> cleaned{0};
    // Cleaners as every start, reader and export runs them, several at once.
    std::thread cleaners[1];
    for (std::thread& t : cleaners)
        t = std::thread([&] {
            while (!done) cleaned += platform_remove_stale_temporaries(here, names, 1);
        });
    const std::string path = dir.path() + "/scene.conf";
    int failures = 0;
    std::string first_failure;
    for (int i = 0; i < 400; ++i) {
        const std::string bytes = "save " + std::to_string(i);
        if (platform_write_file_atomic(path.c_str(), bytes.data(), bytes.size(), &err)) continue;
        if (failures++ == 0) first_failure = err;
    }
    done = true;
    for (std::thread& t : cleaners) t.join();
    EXPECT_EQ(failures, 0) << first_failure;
    EXPECT_EQ(cleaned.load(), 0);
    EXPECT_EQ(dir.read("scene.conf"), "save 399");
    EXPECT_EQ(platform_remove_stale_temporaries(here, names, 1), 0);
}

// A folder in memory answers as the disk does: the same random run of
// writes (atomic, new-file, in place), reads (whole, head), renames and
// locks on a real folder and on a memory folder gives the same outcomes,
// the same errno on each failure, the same bytes, and the same files at
// the end. Injected write failures reach both alike; when the guards go,
// the memory folder is out of use and the countdown disarmed.
TEST(Memory_folder, AnswersAsTheDiskDoes) {
    Temp_dir dir;
    Memory_folder memory;
    memory.root = "/nonexistent/vantiro-memory-test/";
    const std::string disk_root = dir.path() + "/";
    const char* const names[] = {"a", "b", "c", "d/e"};
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    std::string err;
    for (int step = 0; step < 600; ++step) {
        const int op = static_cast<int>(next(8));
        const char* name = names[next(4)];
        const char* other = names[next(4)];
        const std::string data(next(40), static_cast<char>('a' + next(26)));
        const size_t max = next(50);
        const uint64_t offset = next(50);
        const int fail_at = next(6) == 0 ? static_cast<int>(next(4)) : -1;
        std::string outcome[2];   // disk, memory
        for (int m = 0; m < 2; ++m) {
            const std::string root = m ? memory.root : disk_root;
            const std::string path = root + name, to = root + other;
            std::unique_ptr<Memory_folder_in_use> in_memory;
            if (m) in_memory = std::make_unique<Memory_folder_in_use>(memory);
            // Only the writers' failures: what one does beyond the first
            // operation differs between the disk and memory.
            const Injected_write_failure no_room(op < 4 && fail_at == 0 ? 0 : -1);
            std::vector<uint8_t> bytes;
            Platform_lock lock;
            errno = 0;
            bool ok = true;   // false: errno tells why
            std::string& o = outcome[m];
            switch (op) {
                case 0: ok = platform_write_file_atomic(path.c_str(), data.data(), data.size(), &err); break;
                case 1: {
                    const New_file n = platform_write_new_file(path.c_str(), data.data(), data.size(), &err);
                    o = n == New_file::taken ? "taken" : "";
                    ok = n != New_file::failed;
                    break;
                }
                case 2: ok = platform_write_at(path.c_str(), offset, data.data(), data.size(), &err); break;
                case 3: {
                    const New_file n = platform_rename_new(path.c_str(), to.c_str(), &err);
                    o = n == New_file::taken ? "taken" : "";
                    ok = n != New_file::failed;
                    break;
                }
                case 4: ok = platform_read_file(path.c_str(), max, &bytes, &err); break;
                case 5: ok = platform_read_file_head(path.c_str(), max, &bytes, &err); break;
                case 6: {
                    const Lock_outcome l = platform_lock_file(path.c_str(), next(2) == 1, false, 0, &lock, &err);
                    o = l == Lock_outcome::locked ? "locked" : l == Lock_outcome::absent ? "absent" : "";
                    ok = l != Lock_outcome::failed;
                    break;
                }
                default:
                    o = std::to_string(platform_is_folder(root.c_str())) + std::to_string(platform_is_folder(path.c_str()));
                    break;
            }
            o += ok ? " ok" : " failed, errno " + std::to_string(errno);
            o += " [" + std::string(bytes.begin(), bytes.end()) + "]";
        }
        ASSERT_EQ(outcome[0], outcome[1]) << "step " << step << " op " << op << " " << name << " " << other;
    }
    for (const char* name : names) {
        std::vector<uint8_t> disk, mem;
        const bool on_disk = platform_read_file((disk_root + name).c_str(), 1 << 20, &disk, &err);
        {
            const Memory_folder_in_use in_memory(memory);
            EXPECT_EQ(platform_read_file((memory.root + name).c_str(), 1 << 20, &mem, &err), on_disk) << name;
        }
        EXPECT_EQ(disk, mem) << name;
    }
    // Out of use: the root is a path on disk again, where nothing is.
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(platform_read_file((memory.root + "a").c_str(), 100, &bytes, &err));
    const std::string a = disk_root + "a";
    {
        const Injected_write_failure outer(5);
        {
            const Injected_write_failure inner(0);
            EXPECT_FALSE(platform_write_file_atomic(a.c_str(), "x", 1, &err));
        }
        // The outer countdown back, untouched by the inner one's
        // operations: a write takes five (temporary, write, flush, rename,
        // folder flush), so the sixth, the next write's first, fails.
        EXPECT_TRUE(platform_write_file_atomic(a.c_str(), "x", 1, &err)) << err;
        EXPECT_FALSE(platform_write_file_atomic(a.c_str(), "x", 1, &err));
        EXPECT_TRUE(platform_write_file_atomic(a.c_str(), "x", 1, &err)) << err;
    }
    EXPECT_TRUE(platform_write_file_atomic(a.c_str(), "y", 1, &err)) << err;
}
