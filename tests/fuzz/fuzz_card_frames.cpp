// libFuzzer target: any bytes as what a client sends the card simulator:
// cut into frames, each line run and each request answered, as a
// connection would (no sockets; the flash in memory).
#include <cstddef>
#include <cstdint>
#include <string>

#include "card/card_sim.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A new card each run: what one input stored must not slow the next.
    static Bitmap_fonts fonts;   // none set: texts stay blank
    Card_simulator card(fonts, 40, 20, "", Card_faults{}, nullptr);
    Card_simulator* sim = &card;
    Frame_reader reader;
    // In two pieces, as a stream may arrive.
    const size_t half = size / 2;
    reader.feed(data, half);
    Card_frame f;
    std::string answer;
    for (int piece = 0; piece < 2; ++piece) {
        for (;;) {
            const Frame_reader::Status s = reader.next(&f);
            if (s != Frame_reader::Status::frame) break;
            sim->handle(f, &answer);
        }
        if (piece == 0) reader.feed(data + half, size - half);
    }
    return 0;
}
