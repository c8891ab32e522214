// Replay of the command script stored in the controller card's flash (see
// flash_image.h for the layout): each enabled entry's command line is run
// through the editor's interpreter, so the texts and rectangles the card
// shows appear in the scene.
#pragma once

#include <cstddef>
#include <cstdint>

#include "command/flash_image.h"
#include "scene/scene.h"
#include "scene/status_line.h"

// Replays the script of image (size bytes). Nothing is replayed from an
// image without a header (the result says so) or one that ends before it.
// Diagnostics go through diag_print; a full record table is said on status.
Header_status replay_image(Scene& scene, Status_line& status, const uint8_t* image, size_t size);

// The replay of an image read while the operator went on editing: each
// line runs on startup (the scene as it was when the read began) and, when
// it adds an element there, on live too (where live already holds the same
// element, it adds nothing). So an edit made meanwhile is kept, and an
// element of startup that the operator moved or changed is not added a
// second time.
Header_status replay_image_onto(Scene& live, Scene& startup, Status_line& status, const uint8_t* image,
                                size_t size);

// Replays the editor's local flash image at image_path (spi_data.bin in
// the data folder). One without a header (an erased flash) gets the
// default header written into it, and nothing is replayed.
void replay_stored_script(Scene& scene, Status_line& status, const char* image_path);
