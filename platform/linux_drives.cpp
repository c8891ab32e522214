// Finding the removable drive (USB stick, USB disk, SD card) an export is
// written to: the mount table is read with libmount and each mounted block
// device is looked up in sysfs.
#include <libmount/libmount.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/platform.h"

namespace {

const char* const default_mountinfo = "/proc/self/mountinfo";
const char* const default_sys_root = "/sys";

std::string mountinfo_path = default_mountinfo;   // the mount table read
std::string sys_root = default_sys_root;          // where sysfs is looked up

// The canonical form of path (every link resolved); "" when it does not exist.
std::string resolved(const std::string& path) {
    char* p = realpath(path.c_str(), nullptr);
    if (!p) return "";
    std::string out = p;
    std::free(p);
    return out;
}

// The first word of a sysfs attribute file ("" when it is missing or empty).
std::string attribute(const std::string& path) {
    std::ifstream in(path);
    std::string word;
    in >> word;
    return word;
}

// The folder holding path ("/" for a top-level name).
std::string parent_of(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// The last name in the target of the link at path, e.g. "usb" for a
// subsystem link to ../../bus/usb; "" when path is not a link.
std::string link_name(const std::string& path) {
    char buf[PATH_MAX];
    ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return "";
    std::string target(buf, static_cast<size_t>(n));
    while (target.size() > 1 && target.back() == '/') target.pop_back();
    return target.substr(target.rfind('/') + 1);   // npos + 1 == 0: no slash
}

// True for a block device (devno) that is a removable disk or a partition
// of one: the disk says it is removable, it is an SD card, or it hangs off
// the USB bus (USB hard disks say removable 0). root is the resolved sysfs
// root; the search for a USB ancestor never leaves it.
bool is_removable_device(dev_t devno, const std::string& root) {
    std::string dev = resolved(sys_root + "/dev/block/" + std::to_string(major(devno)) + ":" +
                               std::to_string(minor(devno)));
    if (dev.empty() || root.empty()) return false;
    if (access((dev + "/partition").c_str(), F_OK) == 0) dev = parent_of(dev);   // its disk
    if (attribute(dev + "/removable") == "1") return true;
    // MMC cards name their kind; "MMC" is eMMC soldered to the board.
    if (attribute(dev + "/device/type") == "SD") return true;
    const std::string under = root == "/" ? "/" : root + "/";
    for (std::string dir = dev; dir.compare(0, under.size(), under) == 0 && dir.size() > under.size();
         dir = parent_of(dir))
        if (link_name(dir + "/subsystem") == "usb") return true;
    return false;
}

// True for the folders of the system itself: a drive mounted there (a live
// system on a stick, a boot partition) is not where an export goes.
bool is_system_path(const std::string& path) {
    static const char* const exact[] = {"/",     "/boot", "/boot/efi", "/home", "/usr",
                                        "/var",  "/etc",  "/opt",      "/srv",  "/root",
                                        "/tmp",  "/run"};
    static const char* const trees[] = {"/proc", "/sys", "/dev", "/boot", "/usr"};
    for (const char* e : exact)
        if (path == e) return true;
    for (const char* t : trees) {
        size_t n = std::strlen(t);
        if (path.compare(0, n, t) == 0 && (path.size() == n || path[n] == '/')) return true;
    }
    return false;
}

// True when the option list (may be null) holds the option name by itself.
bool has_option(const char* optstr, const char* name) {
    return optstr && mnt_optstr_get_option(optstr, name, nullptr, nullptr) == 0;
}

// True for a mount an export may be written to.
bool is_candidate(libmnt_fs* fs, const std::string& root) {
    const char* target = mnt_fs_get_target(fs);
    const char* fs_root = mnt_fs_get_root(fs);
    dev_t devno = mnt_fs_get_devno(fs);
    if (!target || is_system_path(target)) return false;
    if (fs_root && std::strcmp(fs_root, "/") != 0) return false;   // a subfolder bound elsewhere
    if (major(devno) == 0) return false;   // no block device: tmpfs, proc, network shares
    // Read-only per mount ("ro" among the mount's options) or for the
    // whole file system (among the super-block options).
    if (has_option(mnt_fs_get_vfs_options(fs), "ro") || has_option(mnt_fs_get_fs_options(fs), "ro"))
        return false;
    // sysfs before access(): access() may stall on a dead mount.
    return is_removable_device(devno, root) && access(target, W_OK) == 0;
}

}  // namespace

void platform_set_drive_roots(const char* mountinfo, const char* sys) {
    mountinfo_path = mountinfo ? mountinfo : default_mountinfo;
    sys_root = sys ? sys : default_sys_root;
}

Drive_roots_for_test::Drive_roots_for_test(const std::string& mountinfo, const std::string& sys)
    : previous_mountinfo_(mountinfo_path), previous_sys_root_(sys_root) {
    platform_set_drive_roots(mountinfo.c_str(), sys.c_str());
}

Drive_roots_for_test::~Drive_roots_for_test() {
    platform_set_drive_roots(previous_mountinfo_.c_str(), previous_sys_root_.c_str());
}

bool platform_find_removable_drive(std::string* mount_point, std::string* err) {
    libmnt_table* table = mnt_new_table();
    libmnt_iter* iter = mnt_new_iter(MNT_ITER_FORWARD);
    std::string found, why;
    if (!table || !iter) {
        why = "export: out of memory reading the mount table";
    } else if (int rc = mnt_table_parse_file(table, mountinfo_path.c_str()); rc != 0) {
        why = "export: cannot read the mount table " + mountinfo_path + ": " +
              std::strerror(rc < 0 ? -rc : EINVAL);
    } else {
        // Lines libmount cannot parse are skipped; the last candidate wins,
        // i.e. the drive plugged in most recently.
        const std::string root = resolved(sys_root);
        libmnt_fs* fs = nullptr;
        while (mnt_table_next_fs(table, iter, &fs) == 0)
            if (is_candidate(fs, root)) found = mnt_fs_get_target(fs);
        if (found.empty()) why = "export: no removable drive is mounted";
    }
    mnt_free_iter(iter);
    mnt_unref_table(table);
    if (found.empty()) {
        if (err) *err = why;
        return false;
    }
    *mount_point = found;
    return true;
}
