#include "app/startup.h"

#include <cstdio>
#include <cstring>

#include "app/config.h"
#include "app/outputs.h"
#include "app/scene_files/scene_files.h"
#include "platform/platform.h"
#include "render/bitmap_font.h"
#include "render/outline_font.h"
#include "scene/pools.h"
#include "scene/status_line.h"
#include "scene/view_state.h"
#include "ui/edit_steps.h"
#include "ui/menus.h"

bool derive_exe_folder(const char* exe_path, char* out, size_t cap, std::string* err) {
    const char* last = std::strrchr(exe_path, '/');
    size_t len = last ? static_cast<size_t>(last - exe_path) + 1 : 0;
    if (len >= cap) {
        if (err) *err = "path: executable folder is " + std::to_string(len) +
                        " characters long; at most " + std::to_string(cap - 1) + " are supported";
        if (cap) out[0] = '\0';
        return false;
    }
    std::memcpy(out, exe_path, len);
    out[len] = '\0';
    return true;
}

bool build_data_paths(const char* folder, Data_paths* out, std::string* err) {
    Program_folders folders;
    folders.share = folders.config = folders.data = folder;
    return build_data_paths(folders, out, err);
}

bool build_data_paths(const Program_folders& folders, Data_paths* out, std::string* err) {
    struct Entry {
        char* buf;
        const std::string& folder;
        const char* tail;
    };
    const std::string& share = folders.share;
    const std::string& folder = folders.data;
    const Entry table[] = {
        {out->hzk12, share, "Font/fonts/font_libs/HZK/12/HZK12"},
        {out->hzk16, share, "Font/fonts/font_libs/HZK/16/HZK16C"},
        {out->hzk24, share, "Font/fonts/font_libs/HZK/24/HZK24"},
        {out->hzk32, share, "Font/fonts/font_libs/HZK/32/HZK32"},
        {out->asc12, share, "Font/fonts/font_libs/ASC/ASC12_8"},
        {out->asc16, share, "Font/fonts/font_libs/ASC/ASC16_8"},
        {out->asc24, share, "Font/fonts/font_libs/ASC/ASC24_12"},
        {out->asc32, share, "Font/fonts/font_libs/ASC/ASC32_16"},
        {out->spi_data, folder, "spi_data.bin"},
        {out->digit_conf, folder, "digit.conf"},
        {out->leduit_conf, folder, "leduit.conf"},
        {out->grape_conf, folder, "grape.conf"},
        {out->string_conf, folder, "string.conf"},
        {out->scene_conf, folder, "scene.conf"},
        {out->scene_lock, folder, "scene.lock"},
        {out->config, folders.config, "SysCfg.ini"},
    };
    for (const Entry& e : table) {
        if (format_text(e.buf, data_path_size, "%s%s", e.folder.c_str(), e.tail) < 0) {
            if (err) *err = "path: " + e.folder + e.tail + " is longer than " +
                            std::to_string(data_path_size - 1) +
                            " characters; install the program in a shorter folder";
            return false;
        }
    }
    return true;
}

bool startup_folders(const char* exe_path, const char* dir, Given_folder given, Program_folders* out,
                     std::string* err) {
    char folder[exe_folder_size];
    if (!derive_exe_folder(exe_path, folder, sizeof folder, err)) return false;
    if (!platform_choose_folders(folder, dir, program_name, font_folder_tail, platform_folder_environment(), out,
                                 err))
        return false;
    const bool given_dir = dir && *dir;
    if (given_dir ? given != Given_folder::make : !out->installed) return true;
    // The user's own folders (or the one given): made on first start, with
    // the default settings.
    for (const std::string* f : {&out->config, &out->data})
        if (!platform_make_private_folders(f->c_str(), err)) {
            *err = "path: " + *err;
            return false;
        }
    const std::string from = out->share + "SysCfg.ini", to = out->config + "SysCfg.ini";
    if (!platform_copy_if_absent(from.c_str(), to.c_str(), default_config_limit, nullptr, err)) {
        *err = "path: the default settings are not copied: " + *err;
        return false;
    }
    return true;
}

bool startup_paths_and_config(const char* exe_path, Program_paths* paths, Config* config, Bitmap_fonts& bitmap_fonts,
                              Status_line& status, std::string* err, const char* dir, Given_folder given) {
    *config = Config{};
    *paths = Program_paths{};
    char* const scene_folder = paths->scene_folder;
    const size_t scene_folder_size = sizeof paths->scene_folder;
    Data_paths& data_paths = paths->data;
    if (!derive_exe_folder(exe_path, paths->exe_folder, sizeof paths->exe_folder, err)) return false;
    Program_folders folders;
    if (!startup_folders(exe_path, dir, given, &folders, err)) return false;
    if (folders.data.size() >= scene_folder_size) {
        *err = "path: " + folders.data + " is longer than " + std::to_string(scene_folder_size - 1) +
               " characters";
        return false;
    }
    std::snprintf(scene_folder, scene_folder_size, "%s", folders.data.c_str());
    if (!build_data_paths(folders, &data_paths, err)) return false;
    const char* fonts[bitmap_font_count] = {
        data_paths.hzk12, data_paths.hzk16, data_paths.hzk24, data_paths.hzk32,
        data_paths.asc12, data_paths.asc16, data_paths.asc24, data_paths.asc32,
    };
    for (int id = 0; id < bitmap_font_count; ++id) set_bitmap_font_path(bitmap_fonts, id, fonts[id]);
    read_config(data_paths.config, config, status);
    return true;
}

bool startup_open_face(Outline_font& font, const char* font_file, int face_index, std::string* err) {
    if (font_file) return open_outline_face(font, font_file, face_index, err);
    std::string file;
    int index = 0;
    if (!platform_find_song_face(&file, &index, err)) return false;
    return open_outline_face(font, file.c_str(), index, err);
}

bool Editor_requests::close(const Scene& scene, Status_line& status) {
    std::string err;
    if (save_scene_files(scene, paths_.data, &err)) return true;
    const std::string message = "scene: 保存失败 (save failed): " + err + "; the program stays open";
    status.set_failure(message.c_str());
    return false;
}

void Editor_requests::download(const Scene& scene, Status_line& status) {
    export_scene(fonts_, scene, config_, paths_, texts_, status);
}

void Editor_requests::live_send(const Scene& scene, Status_line& status) {
    send_scene_live(link_, fonts_, config_, paths_, texts_, status, scene);
}

void startup_scene(Scene& scene, const Config& config, const Program_paths& paths, Text_files& texts,
                   Status_line& status, Ui_state* ui, App_requests* requests, Folder_use use) {
    if (ui && requests) ui->requests = requests;
    build_layout(scene);
    const bool boards_saved = load_scene_files(scene, paths.data, status, use);
    settle_text_sources(scene);   // a text typed into, or made by a script in records 3 and 4, is inline
    move_old_palette_places(scene);
    // Text records no command, key or file ever filled are not texts: off,
    // as a grid of many boards reaches the place they are made at.
    for (int i = 5; i < string_draw_count; ++i)
        if (never_filled(scene.string_draws[i])) scene.string_draws[i].enabled = 0;
    // What the window showed is what reopens: a saved scene keeps its
    // boards' size (the size keys change it); the configuration's WIDTH and
    // HEIGHT give the size of a scene that has none saved yet.
    led_unit& board0 = scene.board_at(0, 0);
    if (!boards_saved) {
        board0.width = leading_decimal(config.width);
        board0.height = leading_decimal(config.height);
    }
    lay_out_boards(scene);
    settle_positions_on_sign(scene);
    refresh_text_files(texts, paths);
    if (ui) start_editor_history(ui->history, status, scene);   // the loaded scene is not a step to undo
}
