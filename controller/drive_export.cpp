#include "controller/drive_export.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "scene/pools.h"
#include "scene/status_line.h"

namespace {

void put(Text_mode_script& t, const char* format, int value) {
    char buf[100];
    const int n = format_text(buf, sizeof buf, format, value);
    if (n > 0) t.write(buf, static_cast<size_t>(n));
}

void copy_text_file(int source, Script_files& files) {
    if (files.txt_folder.empty()) return;
    char name[32];
    std::snprintf(name, sizeof name, "my_txt%d.txt", source);
    const std::string from = files.text_source_folder + name;
    const std::string to = files.txt_folder + "/" + name;
    std::vector<uint8_t> bytes;
    std::string err;
    if (!platform_read_file(from.c_str(), 16u << 20, &bytes, &err) ||
        !(files.txt_dir ? platform_write_file_atomic_in(*files.txt_dir, name, bytes.data(), bytes.size(), &err)
                        : platform_write_file_atomic(to.c_str(), bytes.data(), bytes.size(), &err))) {
        if (!files.copy_failures.empty()) files.copy_failures += "; ";
        files.copy_failures += std::string(name) + ": " + err;
    }
}

}  // namespace

std::string scene_command_script(const Scene& scene, Script_files& files) {
    Text_mode_script t;
    t.write("led clearall \n", 14);
    t.write("led clearall \n", 14);
    t.write("\n", 1);
    t.write("\n", 1);
    Text_files texts;
    texts.folder = files.text_source_folder;
    texts.read();
    // A text of source 3 or 4 is written only when its file was there.
    const int named = write_scene_script(scene, t, texts);
    for (int source : {3, 4})
        if (named & (1 << (source - 3))) copy_text_file(source, files);
    put(t, "set ld %d  \n ", 9 - scene.brightness_level);
    put(t, "set pl %d  \n ", 2);
    static const char* const panel_lines[4] = {"set chrct in375_h \n ", "set chrct in375 \n ",
                                               "set chrct p10_h \n ", "set chrct p10  \n "};
    if (scene.panel_type < 4) {
        put(t, "set soft %d 64 \n ", scene.export_columns * (scene.panel_type < 2 ? 64 : 32));
        t.write(panel_lines[scene.panel_type], std::strlen(panel_lines[scene.panel_type]));
    }
    t.write("file save \n", 12);   // with its NUL: the script ends with a zero byte
    return t.bytes;
}

std::string time_line(const std::tm& tm) {
    char buf[100];
    const int n = format_text(buf, sizeof buf, "set time %d %d %d %d %d %d \n ", tm.tm_year + 1900,
                              tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    Text_mode_script t;
    if (n > 0) t.write(buf, static_cast<size_t>(n));
    return t.bytes;
}

Export_outcome export_to_folder(const Scene& scene, const std::string& root, const std::string& text_source_folder,
                                std::time_t now) {
    Export_outcome o;
    o.drive_found = true;
    o.ledsys = root + "/ledsys";
    std::string err;
    Platform_folder top, ledsys, cmd, txt, init;
    if (!platform_open_folder(root.c_str(), &top, &err) || !platform_open_subfolder(top, "ledsys", &ledsys, &err) ||
        !platform_open_subfolder(ledsys, "CMD", &cmd, &err) || !platform_open_subfolder(ledsys, "TXT", &txt, &err) ||
        !platform_open_subfolder(ledsys, "init", &init, &err)) {
        o.message = "export: " + err + "; nothing is written";
        return o;
    }
    // What an export cut short left there.
    static const char* const cmd_names[] = {"cmd.txt"}, *const init_names[] = {"time.txt"},
                             *const txt_names[] = {"my_txt3.txt", "my_txt4.txt"};
    platform_remove_stale_temporaries(cmd, cmd_names, 1);
    platform_remove_stale_temporaries(init, init_names, 1);
    platform_remove_stale_temporaries(txt, txt_names, 2);

    std::tm tm{};
    localtime_r(&now, &tm);
    const std::string time_bytes = time_line(tm);
    std::string time_failure;
    if (!platform_write_file_atomic_in(init, "time.txt", time_bytes.data(), time_bytes.size(), &err))
        time_failure = err;

    Script_files files;
    files.text_source_folder = text_source_folder;
    files.txt_folder = o.ledsys + "/TXT";
    files.txt_dir = &txt;
    const std::string script = scene_command_script(scene, files);
    if (!platform_write_file_atomic_in(cmd, "cmd.txt", script.data(), script.size(), &err)) {
        o.message = "export: " + err + "; the stick keeps its old script";
        return o;
    }
    if (!time_failure.empty()) {
        o.message = "export: the script is written, but " + time_failure;
        return o;
    }
    if (!files.copy_failures.empty()) {
        // The card would show nothing where these texts stand.
        o.message = "export: exported to " + o.ledsys + ", but these text files were not copied: " +
                    files.copy_failures;
        return o;
    }
    o.written = true;
    o.message = "exported to " + o.ledsys;
    return o;
}

Export_outcome export_to_drive(const Scene& scene, const std::string& folder_override,
                               const std::string& text_source_folder) {
    std::string root = folder_override, err;
    if (root.empty() && !platform_find_removable_drive(&root, &err)) {
        Export_outcome o;
        o.message = err;
        return o;
    }
    return export_to_folder(scene, root, text_source_folder, std::time(nullptr));
}
