// Start-up: the executable's folder and every data path derived from it,
// the configuration, the outline face and the start-up values of the scene.
// The GLUT shell (app/main.cpp) calls these in order, with its window steps
// in between; tests call them directly, without a window.
#pragma once

#include <cstddef>
#include <string>

#include "ui/app_requests.h"

// Folder of the executable, ending with '/'.
constexpr size_t exe_folder_size = 1024;
extern char exe_folder[exe_folder_size];

// Every data path is exe_folder plus a fixed tail, in a 300-byte buffer.
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
    char config[data_path_size];
};
extern Data_paths data_paths;

// Folder part of an executable path: everything up to and including the
// last '/'. A path without '/' gives "" (the current folder). Fails when
// the folder does not fit in cap bytes.
bool derive_exe_folder(const char* exe_path, char* out, size_t cap, std::string* err);

// Builds every data path below folder. Fails, naming the path, when one
// would not fit in its buffer.
bool build_data_paths(const char* folder, Data_paths* out, std::string* err);

// Clears the configuration, derives exe_folder from exe_path, builds the
// data paths and reads SysCfg.ini.
bool startup_paths_and_config(const char* exe_path, std::string* err);

// Opens the outline face. font_file null: find the Song/Ming face through
// the system (see platform_find_song_face); otherwise open that file.
bool startup_open_face(const char* font_file, int face_index, std::string* err);

// What the editor's input asks of this application (ui/app_requests.h):
// close saves the scene and quits, download exports onto the stick,
// live_send sends the scene to the card. The clipboard is the window's:
// the GLUT shell hands down a subclass that reads it.
class Editor_requests : public App_requests {
public:
    void close(const Scene& scene) override;
    void download(const Scene& scene) override;
    void live_send(const Scene& scene) override;
};

// Scene start-up: hands the editor's requests down to the input (requests,
// or the plain Editor_requests when null), the layout and saved scene when
// present, then WIDTH and HEIGHT from the configuration applied to unit
// board 0.
void startup_scene(Scene& scene, App_requests* requests = nullptr);

// The plain requests start-up hands down.
App_requests& editor_requests();
