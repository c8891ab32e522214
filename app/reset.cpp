#include "app/reset.h"

#include <cstring>

#include "app/config.h"
#include "app/frame.h"
#include "app/outputs.h"
#include "app/startup.h"
#include "platform/platform.h"

void reset_to_startup_state() {
    Live_sender idle;   // each test's own sender is stopped by the test
    reset_card_link(idle);
    reset_frame_state();
    clear_config();
    sync_enabled = 0;
    std::memset(exe_folder, 0, sizeof exe_folder);
    std::memset(scene_folder, 0, sizeof scene_folder);
    std::memset(&data_paths, 0, sizeof data_paths);
    set_diag_stream(nullptr);
    platform_inject_write_failure(-1);
    platform_set_drive_roots(nullptr, nullptr);
}
