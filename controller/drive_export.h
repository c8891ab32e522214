// The scene onto a USB stick: the ledsys tree that the card reads, with
// the script in CMD/cmd.txt, the time in init/time.txt and the text files
// in TXT. Files are replaced atomically, so a stick pulled mid-write holds
// the old script or the new one, never half of one.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "controller/script_writer.h"
#include "platform/platform.h"

struct Export_outcome {
    bool drive_found = false;   // false: no removable drive, nothing written
    bool written = false;       // time.txt, cmd.txt and every text file written
    std::string ledsys;         // the tree's folder
    std::string message;        // for the status line: done, or why not
};

// What the script needs besides the scene.
struct Script_files {
    // Folder of my_txt3.txt and my_txt4.txt, the texts that the left panel's
    // texts 3 and 4 stand for (the editor's own folder, ending with '/').
    std::string text_source_folder;
    // The drive's TXT folder, where those files are copied when the script
    // names them; empty: no copy. txt_dir, when set, is that folder held
    // open: the copies are written in it, never through a link.
    std::string txt_folder;
    const Platform_folder* txt_dir = nullptr;
    // Filled: one "my_txtN.txt: reason" per file that could not be copied,
    // separated by "; ".
    std::string copy_failures;
};

// The three parts of cmd.txt, as the text-mode bytes on the medium:
// the prologue, the scene's lines, the screen settings and the final
// "file save" with its NUL.
std::string scene_command_script(const Scene& scene, Script_files& files);

// time.txt's one line for the local time t.
std::string time_line(const std::tm& t);

// Writes the ledsys tree below root (a drive's mount point or a folder that
// stands for one). The tree is walked from root without following a link:
// a link, or a file where a folder belongs, stops the export with a
// message, and nothing is written outside root. text_source_folder holds my_txt3.txt and my_txt4.txt.
Export_outcome export_to_folder(const Scene& scene, const std::string& root, const std::string& text_source_folder,
                                std::time_t now);

// The toolbar's export: onto the last removable drive, or into
// folder_override when it is not empty. Shows nothing itself.
Export_outcome export_to_drive(const Scene& scene, const std::string& folder_override,
                               const std::string& text_source_folder);
