// Loading and saving the scene files (the format of each: number_files.cpp,
// scene_conf.cpp; damaged files: kept_aside.cpp).
//
// Saving: every file is replaced atomically (platform_write_file_atomic):
// after a crash each file is either the whole old one or the whole new one.
// The order keeps a save that is cut short loading as the previous scene:
// first the scene.conf on disk, when it holds for the four number files on
// disk, gets a second files line with the checksums of the new four (its
// scene unchanged), so that it still holds whichever of them are replaced
// when the save stops; then the four files are replaced; last comes the
// new scene.conf, with the new checksums alone.
//
// Loading: the four number files, then scene.conf over them unless one of
// the four changed since it was written. A file the loader cannot use
// (unreadable or refused) is not compared: its edit could not be shown
// anyway.
#include "app/scene_files/scene_files.h"

#include <memory>


#include "app/scene_files/parts.h"
#include "platform/platform.h"
#include "scene/pools.h"
#include "scene/status_line.h"
#include "scene/view_state.h"

namespace {

// What saves cut short left beside the editor: the scene files' and the
// flash image's temporaries.
void remove_stale_temporaries(const Data_paths& data_paths) {
    std::string folder(data_paths.scene_conf, static_cast<size_t>(base_name(data_paths.scene_conf) - data_paths.scene_conf)), err;
    if (folder.empty()) folder = ".";
    Platform_folder here;
    if (!platform_open_folder(folder.c_str(), &here, &err)) return;
    static const char* const names[] = {"digit.conf", "leduit.conf", "string.conf", "grape.conf", "scene.conf",
                                        "spi_data.bin"};
    const int removed = platform_remove_stale_temporaries(here, names, 6);
    if (removed) report(std::to_string(removed) + " temporary files left by unfinished saves removed");
}

}  // namespace

bool load_scene_files(Scene& scene, const Data_paths& data_paths, Status_line& status, Folder_use use) {
    const std::unique_ptr<Scene_reading> reading(new Scene_reading);
    return load_scene_files(scene, data_paths, status, *reading, use);
}

bool load_scene_files(Scene& scene, const Data_paths& data_paths, Status_line& status, Scene_reading& reading,
                      Folder_use use) {
    Staged& staged = reading.staged;
    const bool editor = use == Folder_use::editor;
    bool boards_saved = false;   // leduit.conf or scene.conf gave the boards
    Platform_lock lock;
    std::string why;
    if (platform_lock_file(data_paths.scene_lock, editor, editor, scene_lock_wait_ms, &lock, &why) ==
        Lock_outcome::busy)
        report("scene: " + why + " by a save; the files are read as they are");
    else if (!lock.held() && editor && !why.empty())
        report("scene: " + why);
    why.clear();
    if (editor) remove_stale_temporaries(data_paths);
    // A damaged file: the editor renames it aside, a reader says so.
    auto damaged = [editor, &status](const char* path, const std::string& problem, const char* instead) {
        if (editor)
            keep_aside_and_tell(status, path, problem, instead);
        else
            status.set_failure((std::string("scene: ") + base_name(path) + " is damaged (" + problem +
                         "); the editor keeps it aside at its next start; " + instead)
                            .c_str());
    };
    const Conf conf = stage_scene_conf(staged, reading.file, data_paths.scene_conf, scene.dot_pitch, &why);
    bool compared[four_files] = {};   // the files whose checksums decide whether scene.conf holds
    std::string bytes;
    for (int k = 0; k < four_files; ++k) {
        const char* path = four_file_path(data_paths, k);
        int count = 0;
        std::string problem;
        switch (read_number_file(reading, data_paths, k, &count, &problem)) {
        case Read::ok:
            load_number_file(reading, scene, k, count);
            compared[k] = true;
            if (path == data_paths.leduit_conf) boards_saved = true;
            break;
        case Read::missing:   // not saved yet: the defaults stay
            compared[k] = true;
            break;
        case Read::unreadable:
            report(std::string(path) + ": " + problem + "; its values are kept");
            break;
        case Read::refused:
            // As saved with scene.conf, only beyond the old format's limits
            // (over 139 rectangles): not damaged, and scene.conf holds it all.
            if (conf == Conf::sound && staged_has_checksums(staged) && read_whole(path, &bytes) &&
                recorded(staged, k, checksum(bytes)))
                report(std::string(path) + ": " + problem + "; scene.conf gives its values");
            else
                damaged(path, problem, "it is not used");
            break;
        }
    }
    switch (conf) {
    case Conf::missing:
        break;
    case Conf::unreadable:
        report(std::string(data_paths.scene_conf) + ": " + why +
               "; the scene is taken from the other scene files alone");
        break;
    case Conf::damaged:
        damaged(data_paths.scene_conf, why, "the scene comes from the other files");
        break;
    case Conf::sound: {
        std::string changed;
        for (int k = 0; k < four_files; ++k)
            if (compared[k] && read_whole(four_file_path(data_paths, k), &bytes) && !recorded(staged, k, checksum(bytes)))
                changed += (changed.empty() ? "" : ", ") + std::string(base_name(four_file_path(data_paths, k)));
        if (changed.empty()) {
            apply_staged(staged, scene);
            boards_saved = true;
        } else {
            // Its texts are in no other file: kept aside before the next
            // save replaces it.
            std::string err, copy;
            if (editor) copy = keep_aside(data_paths.scene_conf, &err);
            report(changed + " changed since scene.conf was written; scene.conf is not used (" +
                   (!editor        ? std::string("the editor keeps it aside at its next start")
                    : copy.empty() ? "it could not be kept aside: " + err
                    : err.empty()  ? "kept as " + copy
                                   : "kept as " + copy + " (" + err + ")") +
                   "), the scene comes from digit.conf, leduit.conf, string.conf and grape.conf alone");
        }
        break;
    }
    }
    // Whatever the files held: the boards as one grid, every element on
    // the sign on one of its LEDs.
    lay_out_boards(scene);
    settle_positions_on_sign(scene);
    return boards_saved;
}

bool save_scene_files(const Scene& scene, const Data_paths& data_paths, std::string* err) {
    const std::unique_ptr<Scene_reading> reading(new Scene_reading);
    return save_scene_files(scene, data_paths, *reading, err);
}

bool save_scene_files(const Scene& scene, const Data_paths& data_paths, Scene_reading& reading, std::string* err) {
    Platform_lock lock;
    switch (platform_lock_file(data_paths.scene_lock, true, true, scene_lock_wait_ms, &lock, err)) {
        case Lock_outcome::locked: break;
        case Lock_outcome::busy: *err = "the scene folder is busy: " + *err; return false;
        default: return false;
    }
    std::string four[four_files];
    for (int k = 0; k < four_files; ++k) four[k] = number_file(scene, k);
    uint64_t sums[four_files];
    for (int k = 0; k < four_files; ++k) sums[k] = checksum(four[k]);
    if (!widen_scene_conf(reading.staged, data_paths, scene.dot_pitch, sums, err)) return false;
    for (int k = 0; k < four_files; ++k)
        if (!platform_write_file_atomic(four_file_path(data_paths, k), four[k].data(), four[k].size(), err)) return false;
    const std::string conf = scene_conf_file(scene, sums);
    return platform_write_file_atomic(data_paths.scene_conf, conf.data(), conf.size(), err);
}
