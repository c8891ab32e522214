// Every test starts from the start-up state of the process, whatever ran
// before it, so the cases pass in any order in one process.
#include <gtest/gtest.h>

#include "app/reset.h"
#include "controller/script_writer.h"
#include "tests/unit/test_scene.h"

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
        reset_to_startup_state();
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
