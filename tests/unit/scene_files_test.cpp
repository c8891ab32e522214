// The saved scene: exact bytes of the four files, the reader's rules and
// limits, legacy scenes, round trips through a fresh process, and saves
// that fail or are cut short.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "app/scene_files.h"
#include "app/scene_json.h"
#include "app/startup.h"
#include "platform/platform.h"
#include "scene/pools.h"
#include "scene/view_state.h"
#include "tests/unit/temp_dir.h"
#include "ui/menus.h"
#include "ui/window_ops.h"

namespace {

const char* const scene_names[] = {"digit.conf", "leduit.conf", "string.conf", "grape.conf",
                                   "scene.conf"};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Removes the temporary files a save left in dir; returns how many.
int remove_temporaries(const Temp_dir& dir) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        if (e.path().filename().string().find(".tmp") != std::string::npos) {
            std::filesystem::remove(e.path());
            ++n;
        }
    return n;
}

// Points every data path into dir (as if the editor lived there).
void use_folder(const Temp_dir& dir) {
    std::string err;
    ASSERT_TRUE(build_data_paths((dir.path() + "/").c_str(), &data_paths, &err)) << err;
}

class Scene_test : public ::testing::Test {
protected:
    void SetUp() override {
        build_layout();
        use_folder(dir);
    }
    Temp_dir dir;
};

TEST_F(Scene_test, FilesHoldTheExactBytes) {
    board_columns = 2;
    board_rows = 1;
    board_at(0, 1) = led_unit();
    graph_count = 0;
    std::string err;
    ASSERT_TRUE(save_scene_files(&err)) << err;
    EXPECT_EQ(slurp(dir.path() + "/leduit.conf"),
              "\r\r\n2\r\r\n1\r\r\n276\r\r\n226\r\r\n256\r\r\n128\r\r\n0\r\r\n64\r\r\n64\r\r\n32\r\r\n");
    EXPECT_EQ(slurp(dir.path() + "/grape.conf"), "\r\r\n0\r\r\n");
    const std::string digits = slurp(dir.path() + "/digit.conf");
    const std::string first = "\r\r\n90\r\r\n800\r\r\n28\r\r\n20\r\r\n5\r\r\n2\r\r\n0\r\r\n140\r\r\n";
    EXPECT_EQ(digits.substr(0, first.size()), first);
    size_t lines = 0;
    for (size_t i = 0; i + 2 < digits.size(); ++i) lines += digits.compare(i, 3, "\r\r\n") == 0;
    EXPECT_EQ(lines, 701u);   // the leading line end and 700 numbers
    // A colour is written as 0..255.
    digit_at(0, 0).colour = 255;
    ASSERT_TRUE(save_scene_files(&err));
    EXPECT_NE(slurp(dir.path() + "/digit.conf").find("\r\r\n255\r\r\n"), std::string::npos);
    // No temporary file is left behind.
    EXPECT_FALSE(std::ifstream(dir.path() + "/digit.conf.tmp").good());
}

TEST_F(Scene_test, LineEndingsOfEveryKindReadAlike) {
    static char lines[scene_line_slots][scene_line_size];
    for (const char* text : {"5\n-7\n12abc\n", "5\r\n-7\r\n12abc\r\n", "\r\r\n5\r\r\n-7\r\r\n12abc\r\r\n",
                             "5\r-7\r12abc", "\n\n5\n\n\n-7\r\r\r12abc"}) {
        std::string err;
        ASSERT_EQ(read_lines(dir.write("f", text).c_str(), lines, &err), 3) << err;
        EXPECT_STREQ(lines[0], "5");
        EXPECT_STREQ(lines[1], "-7");
        EXPECT_STREQ(lines[2], "12abc");
    }
}

TEST_F(Scene_test, OversizedFilesAreRejectedWhole) {
    static char lines[scene_line_slots][scene_line_size];
    std::string err;
    EXPECT_EQ(read_lines(dir.write("f", std::string(20481, '1')).c_str(), lines, &err), -1);
    EXPECT_NE(err.find("20480"), std::string::npos);
    std::string many;
    for (int i = 0; i < 701; ++i) many += "1\n";
    EXPECT_EQ(read_lines(dir.write("f", many).c_str(), lines, &err), -1);
    EXPECT_NE(err.find("700"), std::string::npos);
    EXPECT_EQ(read_lines(dir.write("f", "1\n" + std::string(100, '2') + "\n").c_str(), lines, &err), -1);
    EXPECT_NE(err.find("99"), std::string::npos);
    EXPECT_EQ(read_lines(dir.write("f", "1\n" + std::string(99, '2') + "\n").c_str(), lines, &err), 2);
    EXPECT_EQ(read_lines((dir.path() + "/absent").c_str(), lines, &err), -1);

    // Loading such a file keeps its kind's values.
    dir.write("string.conf", std::string(30000, '7'));
    dir.write("grape.conf", "3\n");
    load_scene_files();
    EXPECT_EQ(string_draws[0].x, 85u);
    EXPECT_EQ(graph_count, 3);
}

TEST_F(Scene_test, MissingLinesKeepValuesAndCountsAreBounded) {
    dir.write("leduit.conf", "9\n7\n100\n");   // columns 6, rows 4, board (0,0) x only
    dir.write("grape.conf", "900\n1\n2\n");
    dir.write("string.conf", "300\nabc\n");
    load_scene_files();
    EXPECT_EQ(board_columns, 6);
    EXPECT_EQ(board_rows, 4);
    EXPECT_EQ(board_at(0, 0).x, 100);
    EXPECT_EQ(board_at(0, 0).y, 226);   // missing: kept
    EXPECT_EQ(graph_count, 500);
    EXPECT_EQ(graph_draws[0].x, 1);
    EXPECT_EQ(graph_draws[0].y, 2);
    EXPECT_EQ(string_draws[0].x, 300u);
    EXPECT_EQ(string_draws[0].y, 0u);    // non-numeric reads as 0
    EXPECT_EQ(string_draws[0].width, 64);
}

TEST_F(Scene_test, LegacyScenesLoadAsTheFourFilesSay) {
    digit_at(0, 40).x = 400;
    digit_at(0, 40).kind = kind_rect;
    digit_at(3, 41).x = 999;   // not in the four files
    graph_count = 1;
    graph_draws[0].x = 300;
    graph_draws[0].in_use = 1;
    std::string err;
    ASSERT_TRUE(save_scene_files(&err)) << err;
    ASSERT_EQ(unlink((dir.path() + "/scene.conf").c_str()), 0);

    build_layout();
    graph_count = 0;
    graph_draws[0] = graph_draw();
    load_scene_files();
    // Group 0's saved positions go to every group; the kind is not saved.
    for (int g = 0; g < digit_groups_in_use; ++g) EXPECT_EQ(digit_at(g, 40).x, 400u) << g;
    EXPECT_EQ(digit_at(0, 40).kind, kind_digit);
    EXPECT_EQ(digit_at(3, 41).x, 90u + 50 * 41);
    EXPECT_EQ(graph_count, 1);
    EXPECT_EQ(graph_draws[0].x, 300);
}

TEST_F(Scene_test, ABrokenSceneConfIsIgnoredWhole) {
    string_draws[5].length = 3;
    std::memcpy(string_draws[5].text, "abc", 4);
    std::string err;
    ASSERT_TRUE(save_scene_files(&err)) << err;
    std::string conf = slurp(dir.path() + "/scene.conf");
    dir.write("scene.conf", conf.substr(0, conf.size() / 2));   // cut short
    build_layout();
    string_draws[5] = string_draw();
    load_scene_files();
    EXPECT_EQ(string_draws[5].length, 8);   // the four files alone
    dir.write("scene.conf", conf);
    load_scene_files();
    EXPECT_STREQ(string_draws[5].text, "abc");
}

// A random scene within what the editor can produce.
void randomise(std::mt19937& rng) {
    auto pick = [&](int64_t lo, int64_t hi) {
        return std::uniform_int_distribution<int64_t>(lo, hi)(rng);
    };
    set_dot_pitch(static_cast<int>(pick(2, 255)));
    text_count = static_cast<int32_t>(pick(0, 39));
    rect_count = static_cast<int32_t>(pick(0, 98));
    graph_count = static_cast<int32_t>(pick(0, 500));
    board_columns = static_cast<int32_t>(pick(0, 6));
    board_rows = static_cast<int32_t>(pick(0, 4));
    export_columns = static_cast<int32_t>(pick(0, 6));
    brightness_level = static_cast<int32_t>(pick(0, 8));
    panel_type = static_cast<uint8_t>(pick(0, 3));
    for (led_unit& b : led_units) {
        b.x = static_cast<int32_t>(pick(-5000, 5000));
        b.y = static_cast<int32_t>(pick(-5000, 5000));
        b.width = static_cast<int32_t>(pick(0, 1000));
        b.height = static_cast<int32_t>(pick(INT32_MIN, INT32_MAX));
    }
    for (string_draw& s : string_draws) {
        s.slot = static_cast<int32_t>(pick(-100, 100));
        s.x = static_cast<uint32_t>(pick(0, UINT32_MAX));
        s.y = static_cast<uint32_t>(pick(0, 2000));
        s.pitch = static_cast<int32_t>(pick(2, 255));
        s.font_size = static_cast<uint8_t>(pick(0, 255));
        s.text_source = static_cast<uint8_t>(pick(0, 4));
        s.enabled = static_cast<uint8_t>(pick(0, 1));
        s.width = static_cast<int32_t>(pick(-50, 1000));
        s.height = static_cast<int32_t>(pick(0, 40));
        s.colour = static_cast<int32_t>(pick(-2, 2));
        std::memset(s.text, 0, sizeof s.text);
        const int n = static_cast<int>(pick(0, 511));
        for (int i = 0; i < n; ++i) s.text[i] = static_cast<char>(pick(1, 255));
        s.length = static_cast<int32_t>(pick(0, 511));
        s.bold_flag = static_cast<uint8_t>(pick(0, 255));
    }
    for (int n = 0; n < digit_groups_in_use * digit_group_size; ++n) {
        Digit_unit& d = digit_units[n];
        d.enabled = static_cast<uint8_t>(pick(0, 1));
        d.id = static_cast<int32_t>(pick(INT32_MIN, INT32_MAX));
        d.pitch = static_cast<uint8_t>(pick(0, 255));
        d.x = static_cast<uint32_t>(pick(0, UINT32_MAX));
        d.y = static_cast<uint32_t>(pick(0, UINT32_MAX));
        d.width = static_cast<int32_t>(pick(INT32_MIN, INT32_MAX));
        d.height = static_cast<int32_t>(pick(-10, 1000));
        d.spare_word = static_cast<int32_t>(pick(INT32_MIN, INT32_MAX));
        d.spare_byte = static_cast<uint8_t>(pick(0, 255));
        d.param_a = static_cast<int32_t>(pick(0, 40));
        d.param_b = static_cast<int32_t>(pick(1, 3));
        d.digits = static_cast<int32_t>(pick(0, 5));
        d.colour = static_cast<uint8_t>(pick(0, 255));
        d.type_code = static_cast<int32_t>(pick(0, 600));
        d.kind = static_cast<uint8_t>(pick(0, 255));
    }
    for (int k = 0; k < graph_draw_count; ++k) {
        graph_draw& g = graph_draws[k];
        g = graph_draw();
        if (k < graph_count || pick(0, 9) == 0) {
            g.x = static_cast<int32_t>(pick(-100, 2000));
            g.y = static_cast<int32_t>(pick(-100, 2000));
            g.width = static_cast<int32_t>(pick(INT32_MIN, INT32_MAX));
            g.height = static_cast<int32_t>(pick(0, 0x7FFFFFFF));
            g.in_use = static_cast<int32_t>(pick(0, 1));
        }
    }
}

// The start-up scene of dir as vantiro-cli, a fresh process, sees it.
std::string dump_in_fresh_process(const Temp_dir& dir) {
    std::string command = std::string(VANTIRO_CLI) + " dump " + dir.path();
    FILE* p = popen(command.c_str(), "r");
    std::string out;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    EXPECT_EQ(pclose(p), 0);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

TEST_F(Scene_test, RandomScenesComeBackExactlyInAFreshProcess) {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 6; ++round) {
        randomise(rng);
        // Start-up sets board 0's size from SysCfg.ini: give it the scene's.
        dir.write("SysCfg.ini", "[LEDPARA]\nWIDTH=" + std::to_string(board_at(0, 0).width) +
                                    "\nHEIGHT=" + std::to_string(board_at(0, 0).height) + "\n");
        std::string err;
        ASSERT_TRUE(save_scene_files(&err)) << err;
        const std::string before = scene_json();
        const std::string after = dump_in_fresh_process(dir);
        ASSERT_EQ(before.size(), after.size()) << "round " << round;
        ASSERT_TRUE(before == after) << "round " << round;
    }
}

TEST_F(Scene_test, AFailedSaveLeavesThePreviousFilesIntact) {
    std::string err;
    ASSERT_TRUE(save_scene_files(&err)) << err;
    std::vector<std::string> old;
    for (const char* name : scene_names) old.push_back(slurp(dir.path() + "/" + name));
    string_draws[0].x = 12345;
    digit_at(0, 0).x = 777;
    for (int n = 0; n < 30; ++n) {
        platform_inject_write_failure(n);
        const bool saved = save_scene_files(&err);
        platform_inject_write_failure(-1);
        if (saved) break;   // n is past the last operation
        EXPECT_NE(err.find("No space left"), std::string::npos) << err;
        for (size_t i = 0; i < old.size(); ++i) {
            const std::string now = slurp(dir.path() + "/" + scene_names[i]);
            // Files replaced before the failure are new; none is partial, and
            // scene.conf, written last, is still the old one.
            if (i == 4) {
                EXPECT_EQ(now, old[i]) << n;
            }
        }
        EXPECT_EQ(remove_temporaries(dir), 0) << n;
        // The old scene.conf still describes the old scene in full.
        build_layout();
        load_scene_files();
        EXPECT_EQ(string_draws[0].x, 85u) << n;
        string_draws[0].x = 12345;
        digit_at(0, 0).x = 777;
    }
}

TEST_F(Scene_test, CloseKeepsTheProgramOpenWhenTheSaveFails) {
    static int quits;
    quits = 0;
    window_ops.quit = [](int) { ++quits; };
    close_requested = save_scene_and_quit;
    platform_inject_write_failure(0);
    toolbar_action(toolbar_close);
    platform_inject_write_failure(-1);
    EXPECT_EQ(quits, 0);
    EXPECT_NE(std::string(status_text).find("save failed"), std::string::npos);
    toolbar_action(toolbar_close);   // the next close tries again
    EXPECT_EQ(quits, 1);
    window_ops = Window_ops{};
}

TEST_F(Scene_test, ASaveKilledAtAnyPointLeavesWholeFiles) {
    // Two scenes and the bytes of their files.
    std::vector<std::string> a, b;
    std::string err;
    auto scene_a = [] { build_layout(); string_draws[1].x = 300; graph_count = 0; };
    auto scene_b = [] { build_layout(); string_draws[1].x = 400; digit_at(0, 3).x = 500; graph_count = 2;
                          board_at(0, 0).x = 300; };
    scene_b();
    ASSERT_TRUE(save_scene_files(&err));
    for (const char* name : scene_names) b.push_back(slurp(dir.path() + "/" + name));
    scene_a();
    ASSERT_TRUE(save_scene_files(&err));
    for (const char* name : scene_names) a.push_back(slurp(dir.path() + "/" + name));
    for (size_t i = 0; i < a.size(); ++i) ASSERT_NE(a[i], b[i]) << scene_names[i];

    std::mt19937 rng(7);
    int cut_short = 0;   // rounds that left a temporary file: killed mid-save
    for (int round = 0; round < 40; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) {
                scene_b();
                save_scene_files(nullptr);
                scene_a();
                save_scene_files(nullptr);
            }
        }
        usleep(std::uniform_int_distribution<useconds_t>(500, 20000)(rng));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        for (size_t i = 0; i < a.size(); ++i) {
            const std::string now = slurp(dir.path() + "/" + scene_names[i]);
            ASSERT_TRUE(now == a[i] || now == b[i]) << scene_names[i] << " is partial in round " << round;
        }
        cut_short += remove_temporaries(dir) > 0;
    }
    // The kills must have landed inside saves, or the check proves nothing.
    EXPECT_GT(cut_short, 0);
}

}  // namespace
