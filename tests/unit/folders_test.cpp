// Where the programs keep their files: beside themselves in a build tree,
// the shipped files in <prefix>/share/vantiro and the user's own in the XDG
// folders when installed, or a folder given with --dir (vantiro) or DIR
// (vantiro-cli).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include "app/config.h"
#include "scene/status_line.h"
#include "app/startup.h"
#include "platform/platform.h"
#include "tests/unit/temp_dir.h"
#include "tests/unit/test_app.h"
#include "tests/unit/test_scene.h"

namespace {

namespace fs = std::filesystem;
using std::make_tuple;

const std::string fonts = "Font/fonts/font_libs";

// HOME and the XDG variables as a test sets them, put back afterwards.
class Environment_guard {
public:
    Environment_guard() {
        for (int i = 0; i < 3; ++i) had_[i] = platform_environment(names_[i], &saved_[i]);
    }
    ~Environment_guard() {
        for (int i = 0; i < 3; ++i)
            if (had_[i])
                setenv(names_[i], saved_[i].c_str(), 1);
            else
                unsetenv(names_[i]);
    }
    // Sets or (null) unsets HOME, XDG_CONFIG_HOME and XDG_DATA_HOME.
    void set(const char* home, const char* config_home, const char* data_home) const {
        const char* values[3] = {home, config_home, data_home};
        for (int i = 0; i < 3; ++i)
            if (values[i])
                setenv(names_[i], values[i], 1);
            else
                unsetenv(names_[i]);
    }

private:
    const char* names_[3] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"};
    std::string saved_[3];
    bool had_[3] = {};
};

// A build tree in root: the program with the font folder beside it.
std::string make_build_tree(const std::string& root) {
    fs::create_directories(root + "/bin/" + fonts);
    return root + "/bin/";
}

// An installation below prefix: prefix/bin and prefix/share/vantiro with the
// fonts and the default SysCfg.ini.
std::string make_installation(const std::string& prefix, const std::string& ini) {
    fs::create_directories(prefix + "/bin");
    fs::create_directories(prefix + "/share/vantiro/" + fonts);
    std::ofstream(prefix + "/share/vantiro/SysCfg.ini") << ini;
    return prefix + "/bin/";
}

Program_folders choose(const std::string& exe_folder, const char* dir, const Folder_environment& env,
                       bool* ok = nullptr, std::string* err = nullptr) {
    Program_folders f;
    std::string why;
    const bool chosen = platform_choose_folders(exe_folder.c_str(), dir, "vantiro", fonts.c_str(), env, &f, &why);
    if (ok) *ok = chosen;
    if (err) *err = why;
    return f;
}

int mode_of(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A build tree keeps everything beside the program, even with an
// installation's share folder above it and whatever the XDG variables say.
TEST(FolderChoice, ABuildTreeKeepsEverythingBesideTheProgram) {
    Temp_dir t;
    const std::string bin = make_build_tree(t.path());
    fs::create_directories(t.path() + "/share/vantiro/" + fonts);
    const Folder_environment env{"/home/u", "/x/config", "/x/data"};
    const Program_folders f = choose(bin, nullptr, env);
    EXPECT_EQ(make_tuple(f.share, f.config, f.data, f.installed), make_tuple(bin, bin, bin, false));
}

// Installed, the shipped files come from ../share/vantiro and the user's from
// the XDG folders, or from HOME's defaults when those are unset, empty or
// relative.
TEST(FolderChoice, AnInstallationUsesTheUsersXdgFolders) {
    Temp_dir t;
    const std::string bin = make_installation(t.path() + "/usr", "");
    const std::string share = t.path() + "/usr/share/vantiro/";
    const struct { Folder_environment env; std::string config, data; } cases[] = {
        {{"/home/u", "/x/config", "/x/data/"}, "/x/config/vantiro/", "/x/data/vantiro/"},
        {{"/home/u", "", ""}, "/home/u/.config/vantiro/", "/home/u/.local/share/vantiro/"},
        {{"/home/u/", "rel/config", "/x/data"}, "/home/u/.config/vantiro/", "/x/data/vantiro/"},
        {{"", "/x/config", "/x/data"}, "/x/config/vantiro/", "/x/data/vantiro/"},
    };
    for (const auto& c : cases) {
        bool ok = false;
        std::string err;
        const Program_folders f = choose(bin, nullptr, c.env, &ok, &err);
        EXPECT_TRUE(ok) << err;
        EXPECT_EQ(make_tuple(f.share, f.config, f.data, f.installed), make_tuple(share, c.config, c.data, true))
            << c.env.home << " " << c.env.xdg_config_home << " " << c.env.xdg_data_home;
    }
}

// A folder given takes the settings and the scene in both layouts; the fonts
// stay the program's own.
TEST(FolderChoice, AGivenFolderHoldsTheSettingsAndTheScene) {
    Temp_dir t;
    const std::string installed = make_installation(t.path() + "/usr", "");
    const std::string built = make_build_tree(t.path() + "/build");
    const Folder_environment env{"/home/u", "", ""};
    const Program_folders a = choose(installed, "/some/dir", env), b = choose(built, "/some/dir/", env);
    EXPECT_EQ(make_tuple(a.share, a.config, a.data, a.installed),
              make_tuple(t.path() + "/usr/share/vantiro/", std::string("/some/dir/"), std::string("/some/dir/"), true));
    EXPECT_EQ(make_tuple(b.share, b.config, b.data, b.installed),
              make_tuple(built, std::string("/some/dir/"), std::string("/some/dir/"), false));
}

// Installed without HOME or XDG folders there is nowhere for the user's
// files: an error naming the layer, unless a folder is given.
TEST(FolderChoice, NoHomeIsAnErrorUnlessAFolderIsGiven) {
    Temp_dir t;
    const std::string bin = make_installation(t.path() + "/usr", "");
    for (const Folder_environment& env : {Folder_environment{}, Folder_environment{"relative", "", ""},
                                         Folder_environment{"", "/x/config", ""}}) {
        bool ok = true;
        std::string err;
        choose(bin, nullptr, env, &ok, &err);
        EXPECT_FALSE(ok) << env.home;
        EXPECT_EQ(err.rfind("path: ", 0), 0u) << err;
    }
    bool ok = false;
    const Program_folders f = choose(bin, "/d", Folder_environment{}, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(f.data, "/d/");
}

// Fonts in neither place: as today, everything beside the program (the
// missing fonts are reported when read).
TEST(FolderChoice, WithoutFontsAnywhereTheProgramsFolderIsUsed) {
    Temp_dir t;
    fs::create_directories(t.path() + "/bin");
    const std::string bin = t.path() + "/bin/";
    const Program_folders f = choose(bin, nullptr, Folder_environment{"/home/u", "", ""});
    EXPECT_EQ(make_tuple(f.share, f.config, f.data, f.installed), make_tuple(bin, bin, bin, false));
    EXPECT_FALSE(choose("", nullptr, Folder_environment{}).installed);
    EXPECT_FALSE(choose("/", nullptr, Folder_environment{}).installed);
}

// The first start of an installed program makes the user's folders (0700),
// copies the default SysCfg.ini and reads it, takes the fonts from share and
// writes nothing beside itself; a later start keeps the user's settings.
TEST(Startup, AnInstalledProgramMakesTheUsersFoldersOnFirstStart) {
    Test_app& app = test_app();
    Environment_guard guard;
    Temp_dir t;
    const std::string bin = make_installation(t.path() + "/usr", "[LEDPARA]\nWIDTH=96\nHEIGHT=40\n");
    const std::string home = t.path() + "/home";
    fs::create_directories(home);
    guard.set(home.c_str(), nullptr, "");   // XDG_DATA_HOME empty: as unset
    std::string err;
    ASSERT_TRUE(startup_paths_and_config((bin + "vantiro").c_str(), &app.paths, &app.config, test_fonts(), test_ui().status, &err)) << err;
    const std::string config = home + "/.config/vantiro", data = home + "/.local/share/vantiro";
    EXPECT_EQ(make_tuple(mode_of(config), mode_of(data), mode_of(home + "/.local")), make_tuple(0700, 0700, 0700));
    EXPECT_EQ(slurp(config + "/SysCfg.ini"), slurp(t.path() + "/usr/share/vantiro/SysCfg.ini"));
    EXPECT_EQ(make_tuple(std::string(app.config.width), std::string(app.config.height)), make_tuple("96", "40"));
    EXPECT_EQ(std::string(app.paths.data.hzk16), t.path() + "/usr/share/vantiro/" + fonts + "/HZK/16/HZK16C");
    EXPECT_EQ(std::string(app.paths.data.scene_conf), data + "/scene.conf");
    EXPECT_EQ(std::string(app.paths.data.spi_data), data + "/spi_data.bin");
    EXPECT_EQ(std::string(app.paths.data.config), config + "/SysCfg.ini");
    EXPECT_EQ(std::string(app.paths.scene_folder), data + "/");
    EXPECT_TRUE(fs::is_empty(bin));

    std::ofstream(config + "/SysCfg.ini") << "[LEDPARA]\nWIDTH=32\n";
    ASSERT_TRUE(startup_paths_and_config((bin + "vantiro").c_str(), &app.paths, &app.config, test_fonts(), test_ui().status, &err)) << err;
    EXPECT_EQ(std::string(app.config.width), "32");

    // With the XDG variables set, those folders are used and made instead.
    guard.set(home.c_str(), (t.path() + "/cfg").c_str(), (t.path() + "/dat").c_str());
    ASSERT_TRUE(startup_paths_and_config((bin + "vantiro").c_str(), &app.paths, &app.config, test_fonts(), test_ui().status, &err)) << err;
    EXPECT_EQ(make_tuple(mode_of(t.path() + "/cfg/vantiro"), mode_of(t.path() + "/dat/vantiro")),
              make_tuple(0700, 0700));
    EXPECT_EQ(std::string(app.config.width), "96");
    EXPECT_EQ(std::string(app.paths.data.digit_conf), t.path() + "/dat/vantiro/digit.conf");
    EXPECT_TRUE(fs::is_empty(bin));
}

// A build tree writes nothing at start-up and makes no user folders.
TEST(Startup, ABuildTreeMakesNoUserFolders) {
    Test_app& app = test_app();
    Environment_guard guard;
    Temp_dir t;
    const std::string bin = make_build_tree(t.path());
    const std::string home = t.path() + "/home";
    guard.set(home.c_str(), nullptr, nullptr);
    std::ofstream(bin + "SysCfg.ini") << "[LEDPARA]\nWIDTH=50\n";
    std::string err;
    ASSERT_TRUE(startup_paths_and_config((bin + "vantiro").c_str(), &app.paths, &app.config, test_fonts(), test_ui().status, &err)) << err;
    EXPECT_EQ(std::string(app.config.width), "50");
    EXPECT_EQ(std::string(app.paths.data.scene_conf), bin + "scene.conf");
    EXPECT_EQ(std::string(app.paths.data.asc12), bin + fonts + "/ASC/ASC12_8");
    EXPECT_FALSE(fs::exists(home));
}

// The editor's --dir: the folder is made with the default settings; the
// command line's DIR is only read, never made or written.
TEST(Startup, TheEditorsFolderIsMadeTheCommandLinesOnlyRead) {
    Test_app& app = test_app();
    Environment_guard guard;
    Temp_dir t;
    const std::string bin = make_installation(t.path() + "/usr", "[LEDPARA]\nWIDTH=77\n");
    guard.set(nullptr, nullptr, nullptr);   // no HOME: the given folder is enough
    const std::string dir = t.path() + "/mine/scene";
    std::string err;
    ASSERT_TRUE(startup_paths_and_config((bin + "vantiro").c_str(), &app.paths, &app.config, test_fonts(), test_ui().status, &err, dir.c_str(), Given_folder::make)) << err;
    EXPECT_EQ(mode_of(dir), 0700);
    EXPECT_EQ(std::string(app.config.width), "77");
    EXPECT_EQ(std::string(app.paths.data.string_conf), dir + "/string.conf");
    EXPECT_EQ(std::string(app.paths.data.hzk24), t.path() + "/usr/share/vantiro/" + fonts + "/HZK/24/HZK24");

    const std::string other = t.path() + "/other";
    fs::create_directories(other);
    ASSERT_TRUE(startup_paths_and_config((bin + "vantiro-cli").c_str(), &app.paths, &app.config, test_fonts(), test_ui().status, &err, other.c_str())) << err;
    EXPECT_TRUE(fs::is_empty(other));
    EXPECT_NE(std::string(app.config.width), "77");   // the default settings were not taken either
    // Without HOME and without a folder an installed program cannot start.
    EXPECT_FALSE(startup_paths_and_config((bin + "vantiro").c_str(), &app.paths, &app.config, test_fonts(), test_ui().status, &err));
    EXPECT_EQ(err.rfind("path: ", 0), 0u) << err;
}

// A file in the way of the user's folder stops start-up with a message.
TEST(Startup, AFileInTheWayOfTheUsersFolderIsReported) {
    Test_app& app = test_app();
    Environment_guard guard;
    Temp_dir t;
    const std::string bin = make_installation(t.path() + "/usr", "");
    guard.set(t.path().c_str(), nullptr, nullptr);
    std::ofstream(t.path() + "/.config") << "not a folder";
    std::string err;
    EXPECT_FALSE(startup_paths_and_config((bin + "vantiro").c_str(), &app.paths, &app.config, test_fonts(), test_ui().status, &err));
    EXPECT_NE(err.find("path: cannot create " + t.path() + "/.config"), std::string::npos) << err;
}

// The real vantiro-cli, copied into an installation's layout and run with
// HOME and the XDG variables pointing into a scratch folder, starts from the
// user's folders as the editor does and writes nothing beside itself.
TEST(Startup, AnInstalledCommandLineUsesTheEditorsFolders) {
    Temp_dir t;
    const std::string bin = make_installation(t.path() + "/usr", "[LEDPARA]\nWIDTH=64\nHEIGHT=32\n");
    fs::remove(t.path() + "/usr/share/vantiro/Font/fonts/font_libs");
    fs::create_directory_symlink(VANTIRO_FONT_DIR, t.path() + "/usr/share/vantiro/Font/fonts/font_libs");
    fs::copy_file(VANTIRO_CLI, bin + "vantiro-cli");
    fs::permissions(bin + "vantiro-cli", fs::perms::owner_all);
    const std::string home = t.path() + "/home", data = t.path() + "/data";
    const Command_run dump =
        run_command("env -u XDG_CONFIG_HOME HOME=" + home + " XDG_DATA_HOME=" + data + " " + bin + "vantiro-cli dump",
                    false);
    ASSERT_EQ(dump.status, 0) << dump.output;
    EXPECT_NE(dump.output.find("\"width\":64"), std::string::npos) << dump.output.substr(0, 400);
    EXPECT_EQ(slurp(home + "/.config/vantiro/SysCfg.ini"), "[LEDPARA]\nWIDTH=64\nHEIGHT=32\n");
    EXPECT_EQ(mode_of(data + "/vantiro"), 0700);
    EXPECT_EQ(std::distance(fs::directory_iterator(bin), fs::directory_iterator()), 1);
}

}  // namespace
