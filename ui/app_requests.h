// What the editor's input asks of the application above it: the close and
// download entries of the toolbar, the live send on a left-button release
// or Enter, and the clipboard's text for Ctrl+V. The application hands one
// down at start-up (Ui_state::requests); ui/ never calls up otherwise. Each
// request says what came of it on the status line it is given.
#pragma once

#include <string>

#include "scene/scene.h"
#include "scene/status_line.h"

class App_requests {
public:
    virtual ~App_requests() = default;

    // Save the scene before the program ends. True when it is saved (the
    // input then ends the program); false keeps the program open, and the
    // status line says why.
    virtual bool close(const Scene& scene, Status_line& status) = 0;

    // Write the scene onto the removable drive and say how it went on the
    // status line.
    virtual void download(const Scene& scene, Status_line& status) = 0;

    // Send the scene to the card.
    virtual void live_send(const Scene& scene, Status_line& status) = 0;

    // The clipboard's text as UTF-8; empty when there is none.
    virtual std::string clipboard_text(Status_line& status) {
        (void)status;
        return std::string();
    }
};
