// Every test starts from new values of its own (test_scene.h, test_app.h),
// whatever ran before it; what platform keeps for the process a test sets
// through a guard that puts it back. So the cases pass in any order in one
// process.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "controller/script_writer.h"
#include "tests/unit/test_app.h"
#include "tests/unit/test_scene.h"

// Under the leak checker: fontconfig keeps its configuration and caches for
// the life of the process (nothing calls FcFini), which it reports at exit.
// Said here, so that the binary passes run whole with no environment set
// (tests/lsan.supp says the same for the programs the scripts run).
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

Scene& test_scene() {
    static Scene scene;
    return scene;
}

Ui_state& test_ui() {
    static Ui_state ui;
    return ui;
}

Bitmap_fonts& test_fonts() {
    static Bitmap_fonts fonts;
    return fonts;
}

namespace {
std::unique_ptr<Test_app> the_app;

// The card link's threads are joined and the card library's handles closed
// before the next test makes its own.
void new_test_app() {
    if (the_app) reset_card_link(the_app->link);
    the_app.reset();
    the_app.reset(new Test_app);
}
}

Test_app& test_app() { return *the_app; }

bool use_folder(Program_paths& paths, const std::string& folder, std::string* err) {
    std::snprintf(paths.exe_folder, sizeof paths.exe_folder, "%s/", folder.c_str());
    std::snprintf(paths.scene_folder, sizeof paths.scene_folder, "%s/", folder.c_str());
    return build_data_paths(paths.exe_folder, &paths.data, err);
}

std::string script_of(const Scene& scene) {
    struct Out : Script_out {
        std::string text;
        void line(const char* bytes, size_t n, const Line_info&) override { text.append(bytes, n); }
    } out;
    write_scene_script(scene, out, Text_files{});
    return out.text;
}

namespace {

class Startup_state final : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        new_test_app();
        reset_scene(test_scene());
        reset_ui_state(test_ui());
        test_fonts() = Bitmap_fonts{};
    }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new Startup_state);
    return RUN_ALL_TESTS();
}
