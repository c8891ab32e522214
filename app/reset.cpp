#include "app/reset.h"

#include "platform/platform.h"

void reset_to_startup_state() {
    set_diag_stream(nullptr);
    platform_inject_write_failure(-1);
    platform_set_drive_roots(nullptr, nullptr);
}
