// Start-up: the executable's folder, the program's folders chosen from it
// (platform_choose_folders) and every data path below them, the
// configuration, the outline face and the start-up values of the scene.
// The GLUT shell (app/main.cpp) calls these in order, with its window steps
// in between; tests call them directly, without a window.
#pragma once

#include <cstddef>
#include <string>

#include "app/config.h"
#include "app/outputs.h"
#include "app/program_paths.h"
#include "app/scene_files/scene_files.h"
#include "platform/platform.h"
#include "render/bitmap_font.h"
#include "render/outline_font.h"
#include "ui/app_requests.h"
#include "ui/ui_state.h"

// Where the program keeps its files: the font files below share, SysCfg.ini
// in config, the scene files and spi_data.bin in data.
constexpr const char program_name[] = "vantiro";
// The folder every installation and build tree holds below share: the
// build tree is told from an installation by it lying beside the program.
constexpr const char font_folder_tail[] = "Font/fonts/font_libs";
// SysCfg.ini, at most this large, is copied from share on first start.
constexpr size_t default_config_limit = 64u << 10;

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

// Derives paths->exe_folder from exe_path, chooses the folders
// (startup_folders), builds the data paths and reads SysCfg.ini into
// *config (a file too large to be read is a failure on status); both
// start afresh. bitmap_fonts are pointed at their files.
bool startup_paths_and_config(const char* exe_path, Program_paths* paths, Config* config, Bitmap_fonts& bitmap_fonts,
                              Status_line& status, std::string* err, const char* dir = nullptr, Given_folder given = Given_folder::read);

// Opens font's outline face. font_file null: find the Song/Ming face
// through the system (see platform_find_song_face); otherwise open that file.
bool startup_open_face(Outline_font& font, const char* font_file, int face_index, std::string* err);

// What the editor's input asks of this application (ui/app_requests.h):
// close saves the scene (the input then quits), download exports onto the stick,
// live_send sends the scene to the card. The clipboard is the window's:
// the GLUT shell hands down a subclass that reads it. It works on values
// main owns (the configuration, the paths, the text files, the card link,
// the bitmap fonts),
// which outlive it.
class Editor_requests : public App_requests {
public:
    Editor_requests(const Config& config, const Program_paths& paths, Text_files& texts, Card_link& link,
                    Bitmap_fonts& fonts)
        : config_(config), paths_(paths), texts_(texts), link_(link), fonts_(fonts) {}
    bool close(const Scene& scene, Status_line& status) override;
    void download(const Scene& scene, Status_line& status) override;
    void live_send(const Scene& scene, Status_line& status) override;

private:
    const Config& config_;
    const Program_paths& paths_;
    Text_files& texts_;
    Card_link& link_;
    Bitmap_fonts& fonts_;   // what the texts are checked against before an export or a send
};

// Scene start-up: hands the editor's requests down to the input ui
// (when both are given), the layout and saved scene from paths when
// present, then WIDTH and HEIGHT from config applied to unit board 0, reads
// the text files into texts, and starts ui's undo history on the loaded
// scene. The editor loads with Folder_use::editor, vantiro-cli's readers
// with Folder_use::reader (the folder is left as it was); ui is null where
// there is no input (vantiro-cli). What the files hold that cannot be
// used is said on status.
void startup_scene(Scene& scene, const Config& config, const Program_paths& paths, Text_files& texts,
                   Status_line& status, Ui_state* ui = nullptr, App_requests* requests = nullptr, Folder_use use = Folder_use::editor);
