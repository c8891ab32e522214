// What the editor's input asks of the application above it: the close and
// download entries of the toolbar, the live send on a left-button release
// or Enter, and the clipboard's text for Ctrl+V. The application hands one
// down at start-up; ui/ never calls up otherwise.
#pragma once

#include <string>

#include "scene/scene.h"

class App_requests {
public:
    virtual ~App_requests() = default;

    // Save the scene and end the program. Returns only when saving failed:
    // the program then stays open and the status line says why.
    virtual void close(const Scene& scene) = 0;

    // Write the scene onto the removable drive and say how it went on the
    // status line.
    virtual void download(const Scene& scene) = 0;

    // Send the scene to the card.
    virtual void live_send(const Scene& scene) = 0;

    // The clipboard's text as UTF-8; empty when there is none.
    virtual std::string clipboard_text() { return std::string(); }
};

// The application's requests; null (the start-up state) until it hands
// them down. Without them the close entry ends the program without saving,
// the download entry says it cannot write, nothing is sent and Ctrl+V
// pastes nothing.
void set_app_requests(App_requests* requests);
App_requests* app_requests();
