// Start-up: the executable's folder, the program's folders chosen from it
// (platform_choose_folders) and every data path below them, the
// configuration, the outline face and the start-up values of the scene.
// The GLUT shell (app/main.cpp) calls these in order, with its window steps
// in between; tests call them directly, without a window.
#pragma once

#include <cstddef>
#include <string>

#include "app/scene_files/scene_files.h"
#include "platform/platform.h"
#include "render/outline_font.h"
#include "ui/app_requests.h"
#include "ui/ui_state.h"

// Folder of the executable, ending with '/'.
constexpr size_t exe_folder_size = 1024;
extern char exe_folder[exe_folder_size];

// Folder of the scene files, spi_data.bin and the scene's text files
// (my_txtN.txt), ending with '/': beside the executable in a build tree,
// the user's data folder in an installation, or the folder chosen.
extern char scene_folder[exe_folder_size];

// Where the program keeps its files: the font files below share, SysCfg.ini
// in config, the scene files and spi_data.bin in data.
constexpr const char program_name[] = "vantiro";
// The folder every installation and build tree holds below share: the
// build tree is told from an installation by it lying beside the program.
constexpr const char font_folder_tail[] = "Font/fonts/font_libs";
// SysCfg.ini, at most this large, is copied from share on first start.
constexpr size_t default_config_limit = 64u << 10;

// Every data path is a folder plus a fixed tail, in a 300-byte buffer.
constexpr size_t data_path_size = 300;
struct Data_paths {
    char hzk12[data_path_size];
    char hzk16[data_path_size];
    char hzk24[data_path_size];
    char hzk32[data_path_size];
    char asc12[data_path_size];
    char asc16[data_path_size];
    char asc24[data_path_size];
    char asc32[data_path_size];
    char spi_data[data_path_size];
    char digit_conf[data_path_size];
    char leduit_conf[data_path_size];
    char grape_conf[data_path_size];
    char string_conf[data_path_size];
    char scene_conf[data_path_size];
    char scene_lock[data_path_size];   // the scene folder's lock file (see scene_files.h)
    char config[data_path_size];
};
extern Data_paths data_paths;

// Folder part of an executable path: everything up to and including the
// last '/'. A path without '/' gives "" (the current folder). Fails when
// the folder does not fit in cap bytes.
bool derive_exe_folder(const char* exe_path, char* out, size_t cap, std::string* err);

// Builds every data path: the fonts below folders.share, SysCfg.ini in
// folders.config, the scene files and spi_data.bin in folders.data. Fails,
// naming the path, when one would not fit in its buffer.
bool build_data_paths(const Program_folders& folders, Data_paths* out, std::string* err);

// The same with all three in one folder (a build tree's layout).
bool build_data_paths(const char* folder, Data_paths* out, std::string* err);

// What start-up does with the folder it is given.
enum class Given_folder {
    read,   // only read what is there (vantiro-cli DIR)
    make,   // make it when missing and put the default SysCfg.ini in (vantiro --dir)
};

// The program's folders for the executable at exe_path and the folder dir
// (null: none given), with this process's HOME and XDG variables. The
// folders an installation keeps the user's files in are made (mode 0700)
// and given the default SysCfg.ini (from share) when they have none; so is
// dir with Given_folder::make. Nothing is ever written beside the program.
bool startup_folders(const char* exe_path, const char* dir, Given_folder given, Program_folders* out,
                     std::string* err);

// Clears the configuration, derives exe_folder from exe_path, chooses the
// folders (startup_folders), builds the data paths, points bitmap_fonts at
// their files and reads SysCfg.ini (saying on status what it cannot use).
bool startup_paths_and_config(Status_line& status, Bitmap_fonts& bitmap_fonts, const char* exe_path,
                              std::string* err, const char* dir = nullptr, Given_folder given = Given_folder::read);

// Opens font's outline face. font_file null: find the Song/Ming face
// through the system (see platform_find_song_face); otherwise open that file.
bool startup_open_face(Outline_font& font, const char* font_file, int face_index, std::string* err);

// What the editor's input asks of this application (ui/app_requests.h):
// close saves the scene (the input then quits), download exports onto the stick,
// live_send sends the scene to the card. The clipboard is the window's:
// the GLUT shell hands down a subclass that reads it.
class Live_sender;

class Editor_requests : public App_requests {
public:
    bool close(const Scene& scene, Status_line& status) override;
    void download(const Scene& scene, Status_line& status) override;
    void live_send(const Scene& scene, Status_line& status) override;

    // Where the live send goes (main's sender) and the fonts the texts are
    // checked against before an export or a send (main's); without fonts
    // nothing is exported, and without both nothing is sent.
    Live_sender* sender = nullptr;
    Bitmap_fonts* fonts = nullptr;
};

// Scene start-up: hands the editor's requests down to the input ui
// (requests, or the plain Editor_requests when null), the layout and saved
// scene when present, then WIDTH and HEIGHT from the configuration applied
// to unit board 0, and starts ui's undo history on the loaded scene. The
// editor loads with Folder_use::editor, vantiro-cli's readers with
// Folder_use::reader (the folder is left as it was); ui is null where there
// is no input (vantiro-cli). What the files hold that cannot be used is
// said on status.
void startup_scene(Scene& scene, Status_line& status, Ui_state* ui, App_requests* requests = nullptr,
                   Folder_use use = Folder_use::editor);

// The plain requests start-up hands down.
App_requests& editor_requests();
