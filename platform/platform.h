// Operating-system stand-ins: the few services the editor needs from the
// system, behind one narrow contract. linux_*.cpp and fontconfig_face.cpp
// need no display; x11_window.cpp needs the X connection GLUT opened.
//
// Implemented: diagnostics, whole-file reads and atomic writes (on disk or
//   in a folder held in memory), executable path, the environment, the program's folders (build tree, installation, XDG), private-profile reading, CJK face lookup,
//   frameless window by title, waiting for window-system input and for the
//   window system to catch up, pointer position on the screen, GBK text
//   conversion.
//   Also implemented: finding the removable drive an export is written to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

// --- Diagnostics and bounded formatting (diag.cpp) --------------------------

// printf-like diagnostic to standard error, the one channel of every
// message (or to the stream set below);
// returns the characters written.
int diag_print(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where diagnostics go (null: standard error). Tests use Diag_capture.
void set_diag_stream(FILE* stream);

// Diagnostics captured while the value lives, in a temporary file it owns,
// instead of going to standard error; where they went before is restored
// when it goes. For tests, which read them or keep them quiet.
class Diag_capture {
public:
    Diag_capture();
    Diag_capture(const Diag_capture&) = delete;
    Diag_capture& operator=(const Diag_capture&) = delete;
    ~Diag_capture();

    // What was printed since the previous take (or since the capture began).
    std::string take();

private:
    FILE* previous_;
    FILE* file_;
    long taken_ = 0;   // bytes of file_ already taken
};

// printf-like formatting into buf of cap bytes. Returns the length written,
// or -1 when formatting fails or the text would not fit; then buf is empty,
// so a cut text is never used by mistake.
int format_text(char* buf, size_t cap, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// --- Paths (linux_paths.cpp) ------------------------------------------------

// Full path of the running executable (from /proc/self/exe) into out.
// Fails, with a message, when the path does not fit in cap bytes.
bool platform_executable_path(char* out, size_t cap, std::string* err);

// The value of environment variable name into value; false (value left
// alone) when it is not set.
bool platform_environment(const char* name, std::string* value);

// --- Program folders (linux_paths.cpp) --------------------------------------

// Where a program's files are: the read-only files shipped with it (share),
// its settings (config) and the files it writes (data). Each ends with '/'.
struct Program_folders {
    std::string share;
    std::string config;
    std::string data;
    // True when the program runs from an installation (<prefix>/bin with
    // <prefix>/share/<name>): share is that folder and config and data are
    // the user's own, which the program makes on first use.
    bool installed = false;
};

// The variables the user's folders come from; empty stands for unset (an
// empty XDG variable counts as unset).
struct Folder_environment {
    std::string home;              // HOME
    std::string xdg_config_home;   // XDG_CONFIG_HOME
    std::string xdg_data_home;     // XDG_DATA_HOME
};

// HOME, XDG_CONFIG_HOME and XDG_DATA_HOME of this process.
Folder_environment platform_folder_environment();

// Chooses the folders of program name run from exe_folder (ending with '/').
// probe is a folder the shipped files always hold (relative to share):
//   - probe beside the executable (a build tree, or a copy of it that keeps
//     its files together): share, config and data are all exe_folder;
//   - otherwise, probe in <exe_folder>/../share/<name>/ (an installation):
//     share is that folder, config is $XDG_CONFIG_HOME/<name>/ (default
//     ~/.config/<name>/), data is $XDG_DATA_HOME/<name>/ (default
//     ~/.local/share/<name>/); a relative XDG path is ignored, as the XDG
//     base-directory rules ask;
//   - neither: as beside the executable (what is missing is reported by
//     whoever reads it).
// dir non-null and non-empty: config and data are dir (share as above).
// Fails ("path: ...") only when the user's folders are needed and neither
// the XDG variable nor HOME is set to an absolute path.
bool platform_choose_folders(const char* exe_folder, const char* dir, const char* name, const char* probe,
                             const Folder_environment& env, Program_folders* out, std::string* err);

// --- Files (linux_files.cpp) -----------------------------------------------

// Reads the whole regular file at path, at most max bytes, into out.
// Refuses (with a message) a missing file, a folder, a device or pipe, and
// a file larger than max; errno then tells which (ENOENT: missing, EISDIR:
// a folder, EINVAL: not a regular file, EFBIG: too large, or the failing
// call's own). Never waits: a FIFO is refused at once.
bool platform_read_file(const char* path, size_t max, std::vector<uint8_t>* out,
                        std::string* err);

// The same, but a file longer than max is read only up to max bytes (the
// rest is left unread), not refused: for files whose tail nothing uses.
bool platform_read_file_head(const char* path, size_t max, std::vector<uint8_t>* out,
                             std::string* err);

// Writes n bytes at offset into the existing file at path, in place.
bool platform_write_at(const char* path, uint64_t offset, const void* data, size_t n,
                       std::string* err);

// Replaces the file at path with n bytes, atomically: the bytes go to a new
// temporary file in the same folder (locked from the moment it has a name,
// so a cleaner of stale temporaries never takes it; never through a link),
// are flushed to the medium, and the temporary is renamed over path while
// still locked; then the folder is flushed. After a crash or a failure
// path is either wholly the old file or wholly the new one, and no
// temporary is left behind on failure. A failed flush of the folder fails
// the write ("cannot flush the folder of PATH: ..."): the rename may not
// have reached the medium.
// Only a regular file (or nothing, or a link, which is replaced, not
// followed) is replaced. A FIFO, a character device (/dev/null) or a link
// to standard output (/dev/stdout) is written in place; a folder, a block
// device or a socket is refused with a message and left alone.
bool platform_write_file_atomic(const char* path, const void* data, size_t n, std::string* err);

// A folder held open, so that what is written in it lands there and not
// wherever a path would lead by the time it is written (a link planted on
// a stick). Closed when destroyed; moved, not copied.
class Platform_folder {
public:
    Platform_folder() = default;
    Platform_folder(const Platform_folder&) = delete;
    Platform_folder& operator=(const Platform_folder&) = delete;
    Platform_folder(Platform_folder&& other) noexcept;
    Platform_folder& operator=(Platform_folder&& other) noexcept;
    ~Platform_folder();

    int fd = -1;        // the open folder; -1: none
    std::string path;   // where it was opened, for messages
};

// Opens the folder at path, the place the caller was given (links on the
// way to it are followed). False with the reason in err.
bool platform_open_folder(const char* path, Platform_folder* out, std::string* err);

// Opens folder name inside parent, making it (mode 0755) when missing. A
// link of that name is never followed, and a link or a file there is
// refused: "PATH is a link; nothing is written through it", "PATH: a file
// of that name is in the way".
bool platform_open_subfolder(const Platform_folder& parent, const char* name, Platform_folder* out,
                             std::string* err);

// platform_write_file_atomic of the file name inside folder: the temporary
// (NAME.tmp-XXXXXX) and the rename stay inside it, and a link of that name
// is replaced, never written through. Anything there but a regular file
// or a link (a folder, a FIFO, a device) is refused and left alone.
bool platform_write_file_atomic_in(const Platform_folder& folder, const char* name, const void* data, size_t n,
                                   std::string* err);

// Removes what atomic writes cut short (a kill, a power cut) left in
// folder: regular files named NAME.tmp-XXXXXX, X a letter or a digit, for
// each NAME of names, that no writer holds (the atomic writers keep their
// temporary locked until they rename it, so a save or export running at
// the same time keeps its own). Anything else, links and folders of such
// names included, is left alone. Returns how many were removed.
int platform_remove_stale_temporaries(const Platform_folder& folder, const char* const* names, int count);

enum class Lock_outcome { locked, absent, busy, failed };

// A lock on a folder's lock file (flock), held while the value lives;
// moved, not copied. Writers of the scene files hold it exclusive while
// they save, readers shared while they load, so that a reader never sees
// a new scene.conf beside old number files.
class Platform_lock {
public:
    Platform_lock() = default;
    Platform_lock(const Platform_lock&) = delete;
    Platform_lock& operator=(const Platform_lock&) = delete;
    Platform_lock(Platform_lock&& other) noexcept;
    Platform_lock& operator=(Platform_lock&& other) noexcept;
    ~Platform_lock();
    bool held() const { return fd_ >= 0; }
    int fd() const { return fd_; }

private:
    friend Lock_outcome platform_lock_file(const char*, bool, bool, int, Platform_lock*, std::string*);
    int fd_ = -1;
};

// Locks the regular file at path, exclusive or shared, waiting up to
// timeout_ms for a holder to let go. With create the file is made when
// missing (writers); without, a missing file is no error and nothing is
// locked (readers never make it). A link is never followed.
Lock_outcome platform_lock_file(const char* path, bool exclusive, bool create, int timeout_ms, Platform_lock* out,
                                std::string* err);

// True when path names a folder (through links).
bool platform_is_folder(const char* path);

// Makes the folder at path and any missing folder above it, each with mode
// 0700 (folders that hold one user's files); folders already there are
// left as they are. False with "cannot create PATH: reason" in err.
bool platform_make_private_folders(const char* path, std::string* err);

// Copies the regular file from (at most max bytes) to a new file to, unless
// to exists already (then nothing is done). A missing from copies nothing
// and is no error: *copied (when given) says whether a copy was made.
bool platform_copy_if_absent(const char* from, const char* to, size_t max, bool* copied, std::string* err);

// Writes n bytes into a new file at path, created exclusively (never over
// a file or through a link of that name), flushed to the medium, its folder
// synced. taken: the name is in use, nothing written; failed: err says why
// and nothing is left behind.
enum class New_file { written, taken, failed };
New_file platform_write_new_file(const char* path, const void* data, size_t n, std::string* err);

// Renames the file at from to the new name to, in the same folder, never
// over a file of that name (taken: nothing is done) and never through a
// link; the folder is synced. What it costs does not grow with the file.
New_file platform_rename_new(const char* from, const char* to, std::string* err);

// Opens path for appending (a log): created when missing (mode 0644),
// never through a link, and only a regular file: a FIFO, a device or a
// folder is refused (a log must never block or write where it should not).
// Returns null with the reason in err.
std::FILE* platform_open_log(const char* path, std::string* err);

// Test seam: make the k-th file operation of the atomic writer from now on
// fail (k >= 0; -1 for none). The failure reads as "No space left on device".
// Injected_write_failure below sets it for one scope.
void platform_inject_write_failure(int k);

// platform_inject_write_failure(k) while the value lives; the countdown
// there was before comes back when it goes (a check that fails midway
// leaves no failure armed for the next one).
class Injected_write_failure {
public:
    explicit Injected_write_failure(int k);
    Injected_write_failure(const Injected_write_failure&) = delete;
    Injected_write_failure& operator=(const Injected_write_failure&) = delete;
    ~Injected_write_failure();

private:
    int previous_;
};

// --- Files held in memory (linux_files.cpp) ----------------------------------

// A folder whose files are byte buffers in memory, by name. While a
// Memory_folder_in_use names it, every path root + NAME is served from
// files[NAME] and never touches the disk: the whole-file reads, the atomic,
// new-file and in-place writes, platform_copy_if_absent's target,
// platform_rename_new, platform_lock_file (a lock is granted at once and
// holds no descriptor: nothing else shares the folder), platform_open_folder
// and platform_remove_stale_temporaries (a memory folder never holds
// temporaries), platform_is_folder. Outcomes and errno are the disk's (a
// check runs the same operations on both). A NAME with a '/' is in a
// subfolder, which a memory folder has not: missing (ENOENT); subfolders
// and the writers inside an open folder (platform_open_subfolder,
// platform_write_file_atomic_in) stay on disk. For fuzzers and checks that
// load and save the scene thousands of times a second.
struct Memory_folder {
    std::string root;   // ends with '/'; chosen to be no folder on disk
    std::map<std::string, std::vector<uint8_t>> files;
};

// Puts folder in use for as long as the value lives (the one in use before,
// if any, comes back after); folder must outlive it.
class Memory_folder_in_use {
public:
    explicit Memory_folder_in_use(Memory_folder& folder);
    Memory_folder_in_use(const Memory_folder_in_use&) = delete;
    Memory_folder_in_use& operator=(const Memory_folder_in_use&) = delete;
    ~Memory_folder_in_use();

private:
    Memory_folder* previous_;
};

// --- Private-profile files (linux_profile.cpp) ------------------------------

// Reads key of section from an INI file with the semantics of a Windows
// private-profile file: section and key names compare case-blind, the first
// occurrence wins, blanks around names and the value are trimmed and one
// pair of enclosing quotes is removed. Lines may be of any length; leading
// blanks never make a continuation line; a line starting with ';' or '#' is
// a comment (a ';' later in a line is part of the value); a line without
// '=' or a '[' without its ']' is ignored. When the file, section or key is
// missing, or the path is not a regular file, the default text is copied
// instead, and so it is for a file over profile_file_limit (no setting
// file is that large; a huge one is not scanned). At most cap - 1 bytes are
// copied; the result is always NUL-terminated. Returns the number of bytes
// copied and sets *cut (when given) if the value did not fit.
constexpr long profile_file_limit = 64L << 10;
size_t platform_read_profile_string(const char* section, const char* key,
                                    const char* default_text, char* out, size_t cap,
                                    const char* path, bool* cut = nullptr);

// --- Text (linux_text.cpp) -------------------------------------------------

// GBK (code page 936) to UTF-16 in out (cap units, NUL included). Returns
// the units written before the NUL. An invalid byte becomes '?'; a text too
// long for out is cut at a whole character.
size_t platform_gbk_to_utf16(const char* text, char16_t* out, size_t cap);

// GBK to UTF-8 in out (cap bytes, NUL included); returns the bytes written
// before the NUL. An invalid byte becomes '?'.
size_t platform_gbk_to_utf8(const char* text, char* out, size_t cap);

// UTF-8 to GBK in out (cap bytes, NUL included); returns the bytes written
// before the NUL. A character GBK lacks becomes '?'.
size_t platform_utf8_to_gbk(const char* text, char* out, size_t cap);

// --- Fonts (fontconfig_face.cpp) --------------------------------------------

// Finds the Song/Ming CJK face the labels are drawn with: SimSun when it is
// installed, otherwise an equivalent (AR PL UMing first). Sets the font file
// and the face index within it.
bool platform_find_song_face(std::string* file, int* face_index, std::string* err);

// --- Window system (x11_window.cpp) -----------------------------------------

// True when a window-system display can be opened; otherwise says why.
bool platform_display_available(std::string* err);

// Finds the top-level window titled title and removes its decorations
// (caption, frame, system menu).
bool platform_make_frameless(const char* title, std::string* err);

// Position of the pointer on the screen (the root window), in pixels.
bool platform_pointer_position(int* x, int* y);

// Returns when window-system input is waiting, another thread called
// platform_wake_main, or after timeout_ms (-1: no time-out).
void platform_wait_input(int timeout_ms);

// Wakes the main loop's wait (from any thread): a thread that has news
// for the window (a send's outcome, the card's scene read) calls it after
// leaving the news where the loop looks.
void platform_wake_main();
// The descriptor the wait polls for it (-1 when none could be made).
int platform_wake_fd();

// Shortcuts follow the physical key, as in other X programs: a key pressed
// with Ctrl while a layout whose letters are not Latin is active (Russian,
// say) reaches no GLUT callback at all. This takes the first such press
// out of the window's event queue and gives the Ctrl code of the letter its
// key holds in the first layout (Ctrl+A 1 ... Ctrl+Z 26); 0 when there is
// none.
int platform_take_ctrl_letter();

// Returns once the window system has carried out every request sent so far
// (one round trip): what was drawn is on the screen, and a move or resize
// asked for is done.
void platform_window_sync();

// The text on the clipboard (the CLIPBOARD selection, else PRIMARY), as
// UTF-8. Waits at most about a second for the owner to answer. False with
// a reason when there is none.
bool platform_clipboard_text(std::string* utf8, std::string* err);

// --- Removable drives (linux_drives.cpp) ------------------------------------

// Where drive detection reads the mount table and sysfs; null restores the
// defaults (/proc/self/mountinfo and /sys). Tests point them at fake trees,
// through Drive_roots_for_test.
void platform_set_drive_roots(const char* mountinfo_path, const char* sys_root);

// platform_set_drive_roots(mountinfo_path, sys_root) while the value lives;
// the roots set before come back when it goes.
class Drive_roots_for_test {
public:
    Drive_roots_for_test(const std::string& mountinfo_path, const std::string& sys_root);
    Drive_roots_for_test(const Drive_roots_for_test&) = delete;
    Drive_roots_for_test& operator=(const Drive_roots_for_test&) = delete;
    ~Drive_roots_for_test();

private:
    std::string previous_mountinfo_, previous_sys_root_;
};

// The mount point of the removable drive to write to: among the candidates,
// taken in mount-table order, the last one wins. A candidate is a writable,
// read-write mount of a whole file system (not a bound subfolder, not a
// system folder such as / or /boot) whose disk is removable, an SD card, or
// on the USB bus. Returns false when there is none, with *err saying why
// (e.g. "export: no removable drive is mounted").
bool platform_find_removable_drive(std::string* mount_point, std::string* err);
