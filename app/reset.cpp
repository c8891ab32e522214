#include "app/reset.h"

#include "platform/platform.h"
#include "render/bitmap_font.h"
#include "render/dot_sink.h"
#include "render/outline_font.h"

void reset_to_startup_state() {
    reset_bitmap_fonts();
    reset_glyph_cache();
    set_dot_sink(nullptr);
    set_diag_stream(nullptr);
    platform_inject_write_failure(-1);
    platform_set_drive_roots(nullptr, nullptr);
}
