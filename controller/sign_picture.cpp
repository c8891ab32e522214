#include "controller/sign_picture.h"

#include "card/led_picture.h"

namespace {

class Painter final : public Line_sink, public Txt_lookup {
public:
    Painter(Bitmap_fonts& fonts, Led_framebuffer& screen, const Text_files& texts)
        : fonts_(fonts), screen_(screen), texts_(texts) {}

    void put(const Scene_line& l) override {
        if (l.is_module)
            paint_module(screen_, l.module);
        else
            paint_command(fonts_, screen_, l.value, this);
    }

    bool first_line(int32_t source, const char** bytes, size_t* n) override {
        const char* line = texts_.first_line(source, n);
        if (!line) return false;
        *bytes = line;
        return true;
    }

private:
    Bitmap_fonts& fonts_;
    Led_framebuffer& screen_;
    const Text_files& texts_;
};

}  // namespace

void paint_sign(Bitmap_fonts& fonts, const Scene& scene, Led_framebuffer& screen, const Text_files& texts) {
    screen.clear();
    Painter painter(fonts, screen, texts);
    write_scene_lines(scene, painter, texts, Line_style::script);
}
