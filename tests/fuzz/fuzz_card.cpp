// libFuzzer target: any bytes as a command script run on the card model (a
// small screen, so figures often reach past its edges), with the editor's
// font files when FUZZ_FONT_DIR is set.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "card/card_model.h"
#include "render/bitmap_font.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Card_model* card = [] {
        static Bitmap_fonts fonts;
        if (const char* dir = std::getenv("FUZZ_FONT_DIR")) set_bitmap_fonts_below(fonts, dir);
        return new Card_model(fonts, 48, 24);
    }();
    card->reset();
    card->run_script(data, size);
    return 0;
}
