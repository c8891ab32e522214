// Finding the removable drive to export to, against a fake mount table and
// a fake sysfs tree: which disks count, which mounts are passed over, and
// what is said when there is none.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"
#include "tests/unit/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// Writes a small sysfs attribute file.
void put(const std::string& path, const std::string& content) { std::ofstream(path) << content; }

// A fake system in a temporary folder: sysfs under sys/, mount points under
// mnt/, and the mount table in mountinfo; drive detection is pointed at it.
class Fake_system {
public:
    Fake_system() : sys_(dir_.path() + "/sys"), roots_(dir_.path() + "/mountinfo", sys_) {
        for (const char* d : {"bus/usb", "bus/pci", "bus/mmc", "dev/block"})
            fs::create_directories(sys_ + "/" + d);
        fs::create_directories(dir_.path() + "/mnt");
        write_table();
    }

    // Makes the device folder at path (under sys/devices) belong to the bus.
    void bus(const std::string& path, const std::string& name) {
        fs::create_directories(sys_ + "/devices/" + path);
        fs::create_directory_symlink(sys_ + "/bus/" + name, sys_ + "/devices/" + path + "/subsystem");
    }

    // Adds the disk at path (under sys/devices, ending in block/NAME) with
    // its removable flag and, when part is given, one partition of it.
    // maj:min (of the partition when there is one) is linked from dev/block
    // the way the kernel does it, relative to dev/block.
    void disk(const std::string& path, int removable, const std::string& part, int maj, int min) {
        std::string dev = path + (part.empty() ? "" : "/" + part);
        fs::create_directories(sys_ + "/devices/" + dev);
        put(sys_ + "/devices/" + path + "/removable", std::to_string(removable) + "\n");
        if (!part.empty()) put(sys_ + "/devices/" + dev + "/partition", "1\n");
        fs::create_directory_symlink("../../devices/" + dev, sys_ + "/dev/block/" + dev_name(maj, min));
    }

    // Writes the kind of the MMC card a disk (at path) sits on: SD or MMC.
    void card_type(const std::string& path, const std::string& type) {
        fs::create_directories(sys_ + "/devices/" + path + "/device");
        put(sys_ + "/devices/" + path + "/device/type", type + "\n");
    }

    // Appends a mount of maj:min (file-system root fs_root) on mnt/NAME,
    // creating that folder; returns its full path. A blank in name is
    // written as \040, as the kernel does.
    std::string mount(int maj, int min, const std::string& name, const std::string& fs_root = "/",
                      const std::string& opts = "rw,relatime", const std::string& super = "rw") {
        std::string point = dir_.path() + "/mnt/" + name;
        fs::create_directories(point);
        mount_at(maj, min, point, fs_root, opts, super);
        return point;
    }

    // Appends a mount on an existing (system) folder.
    void mount_at(int maj, int min, std::string point, const std::string& fs_root = "/",
                  const std::string& opts = "rw,relatime", const std::string& super = "rw") {
        for (size_t at; (at = point.find(' ')) != std::string::npos;) point.replace(at, 1, "\\040");
        table_ += std::to_string(next_id_++) + " 1 " + dev_name(maj, min) + " " + fs_root + " " +
                  point + " " + opts + " shared:1 - vfat /dev/x " + super + "\n";
        write_table();
    }

    // Drops the last n lines of the mount table (drives unplugged).
    void unmount_last(int n) {
        while (n-- > 0) table_.erase(table_.rfind('\n', table_.size() - 2) + 1);
        write_table();
    }

    const std::string& root() const { return dir_.path(); }

private:
    static std::string dev_name(int maj, int min) {
        return std::to_string(maj) + ":" + std::to_string(min);
    }
    void write_table() { dir_.write("mountinfo", table_); }

    Temp_dir dir_;
    std::string sys_;
    Drive_roots_for_test roots_;   // drive detection looks here while the fake lives
    std::string table_ = "1 0 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n";
    int next_id_ = 30;
};

// The chosen mount point, or "none: <message>".
std::string found_drive() {
    std::string point = "unset", err;
    if (!platform_find_removable_drive(&point, &err)) return "none: " + err;
    return point;
}

}  // namespace

TEST(DriveFind, LastUsbOrRemovableMountWins) {
    Fake_system sys;
    const std::string pci = "pci0000:00/0000:00:17.0", usb = "pci0000:00/0000:00:14.0/usb2/2-1";
    sys.bus(pci, "pci");
    sys.bus(usb, "usb");
    sys.disk(pci + "/ata1/host0/block/sda", 0, "sda1", 8, 1);
    // A USB hard disk says removable 0; only its USB ancestor gives it away.
    sys.disk(usb + "/2-1:1.0/host6/block/sdb", 0, "sdb1", 8, 17);
    // A card reader on the PCI bus: removable, mounted whole (no partitions).
    sys.disk(pci + "/0000:02:00.0/host7/block/sdc", 1, "", 8, 32);
    sys.mount(8, 1, "data");
    std::string usb_disk = sys.mount(8, 17, "usbdisk");
    std::string reader = sys.mount(8, 32, "reader");
    // A stick mounted on a system folder (/tmp is even writable) is not one.
    sys.mount_at(8, 17, "/tmp");
    EXPECT_EQ(found_drive(), reader);
    sys.unmount_last(2);
    EXPECT_EQ(found_drive(), usb_disk);
    sys.unmount_last(1);
    EXPECT_EQ(found_drive(), "none: export: no removable drive is mounted");
}

TEST(DriveFind, FixedDisksAndEmmcAreNotDrivesButAnSdCardIs) {
    Fake_system sys;
    const std::string mmc = "platform/fe340000.mmc/mmc_host/mmc0/mmc0:0001";
    sys.bus("pci0000:00/0000:00:1d.0", "pci");
    sys.bus(mmc, "mmc");
    sys.disk("pci0000:00/0000:00:1d.0/nvme/nvme0/block/nvme0n1", 0, "nvme0n1p2", 259, 2);
    sys.disk(mmc + "/block/mmcblk0", 0, "mmcblk0p1", 179, 1);
    sys.card_type(mmc + "/block/mmcblk0", "MMC");
    sys.mount(259, 2, "nvme");
    std::string card = sys.mount(179, 1, "card");
    EXPECT_EQ(found_drive(), "none: export: no removable drive is mounted");
    sys.card_type(mmc + "/block/mmcblk0", "SD");
    EXPECT_EQ(found_drive(), card);
}

TEST(DriveFind, ReadOnlyAndSubfolderMountsArePassedOverAndBlanksDecoded) {
    Fake_system sys;
    const std::string usb = "pci0000:00/0000:00:14.0/usb1/1-2";
    sys.bus(usb, "usb");
    sys.disk(usb + "/1-2:1.0/host3/block/sdb", 1, "sdb1", 8, 17);
    std::string stick = sys.mount(8, 17, "USB DISK");
    ASSERT_EQ(found_drive(), stick);   // decoded from USB\040DISK
    // Each of these comes later, so each would win if it were not refused.
    sys.mount(8, 17, "bound", "/sub");
    sys.mount(8, 17, "ro_mount", "/", "ro,relatime");
    sys.mount(8, 17, "ro_fs", "/", "rw,relatime", "ro,fmask=0022");
    EXPECT_EQ(found_drive(), stick);
    sys.unmount_last(3);
    sys.mount(8, 17, "whole");   // the same stick mounted whole again: a drive
    EXPECT_EQ(found_drive(), sys.root() + "/mnt/whole");
}

TEST(DriveFind, MissingMountTableIsReported) {
    Temp_dir dir;
    std::string table = dir.path() + "/absent/mountinfo";
    const Drive_roots_for_test roots(table, dir.path());
    std::string point = "unchanged", err;
    EXPECT_FALSE(platform_find_removable_drive(&point, &err));
    EXPECT_EQ(err, "export: cannot read the mount table " + table + ": No such file or directory");
    EXPECT_EQ(point, "unchanged");
}
