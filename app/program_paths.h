// Where this run of the program keeps its files: the executable's folder,
// the scene folder and every data path below the program's folders. Filled
// once by startup_paths_and_config (app/startup.h); a value-initialised
// Program_paths is the one before start-up (every path empty). Owned by
// main (the editor's, vantiro-cli's, each test's) and handed to what opens
// the files: the scene files, the export, the start-up sync.
#pragma once

#include <cstddef>

// Largest folder, ending with '/', that a Program_paths holds.
constexpr size_t exe_folder_size = 1024;

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

struct Program_paths {
    // Folder of the executable, ending with '/'.
    char exe_folder[exe_folder_size] = {};
    // Folder of the scene files, spi_data.bin and the scene's text files
    // (my_txtN.txt), ending with '/': beside the executable in a build
    // tree, the user's data folder in an installation, or the folder chosen.
    char scene_folder[exe_folder_size] = {};
    Data_paths data = {};
};
