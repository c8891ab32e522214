// X11 stand-ins for the window-system calls: the display check, the
// frameless style by window title, waiting for input, and waiting for the
// server to catch up. They use the X connection of the current GL context
// (the one GLUT opened).
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace {

// Depth-first search below w for a window whose WM_NAME is title.
Window find_by_title(Display* dpy, Window w, const char* title) {
    char* name = nullptr;
    if (XFetchName(dpy, w, &name) && name) {
        bool same = std::strcmp(name, title) == 0;
        XFree(name);
        if (same) return w;
    }
    Window root_ret, parent_ret;
    Window* children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(dpy, w, &root_ret, &parent_ret, &children, &n)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < n && !found; ++i) found = find_by_title(dpy, children[i], title);
    if (children) XFree(children);
    return found;
}

// Motif window-manager hints, as window managers read them.
struct Motif_hints {
    unsigned long flags;
    unsigned long functions;
    unsigned long decorations;
    long input_mode;
    unsigned long status;
};
constexpr unsigned long motif_hints_decorations = 1ul << 1;

}  // namespace

bool platform_display_available(std::string* err) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        const char* name = std::getenv("DISPLAY");
        if (err) *err = std::string("window: cannot open the X display '") + (name ? name : "") +
                        "'; run the editor inside an X session (or under Xvfb)";
        return false;
    }
    // Kept open on purpose: closing the only connection to a bare X server
    // (Xvfb) makes it reset, and GLUT's own connection, opened right after,
    // would then be refused.
    return true;
}

bool platform_make_frameless(const char* title, std::string* err) {
    Display* dpy = glXGetCurrentDisplay();
    if (!dpy) {
        if (err) *err = "window: no X connection to find the main window on";
        return false;
    }
    Window w = find_by_title(dpy, DefaultRootWindow(dpy), title);
    if (!w) {
        if (err) *err = std::string("window: no window titled '") + title + "' found";
        return false;
    }
    Atom hints_atom = XInternAtom(dpy, "_MOTIF_WM_HINTS", False);
    Motif_hints hints{};
    hints.flags = motif_hints_decorations;
    hints.decorations = 0;   // no caption, no frame, no system menu
    XChangeProperty(dpy, w, hints_atom, hints_atom, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&hints), 5);
    XFlush(dpy);
    return true;
}

void platform_wait_input(int timeout_ms) {
    Display* dpy = glXGetCurrentDisplay();
    if (!dpy) return;
    if (XPending(dpy)) return;
    pollfd p[2]{};
    p[0].fd = ConnectionNumber(dpy);
    p[0].events = POLLIN;
    p[1].fd = platform_wake_fd();
    p[1].events = POLLIN;
    const int n = p[1].fd >= 0 ? 2 : 1;
    // Without the wake-up, the wait is bounded, as the threads' news is
    // then only seen by looking.
    const int timeout = n == 2 ? timeout_ms : (timeout_ms < 0 || timeout_ms > 20 ? 20 : timeout_ms);
    if (poll(p, static_cast<nfds_t>(n), timeout) > 0 && n == 2 && (p[1].revents & POLLIN)) {
        uint64_t count;
        while (read(p[1].fd, &count, sizeof count) < 0 && errno == EINTR) {
        }
    }
}

namespace {

// A key pressed with Ctrl while a group (layout) other than the first is
// active, whose keysym there is no Latin character (a Russian letter, say),
// on a key that holds a Latin letter in the first group.
Bool ctrl_in_other_layout(Display* dpy, XEvent* e, XPointer) {
    if (e->type != KeyPress) return False;
    const XKeyEvent& k = e->xkey;
    if (!(k.state & ControlMask)) return False;
    const unsigned group = XkbGroupForCoreState(k.state);
    if (group == 0) return False;   // the first group: GLUT's own callback has it
    const KeySym here = XkbKeycodeToKeysym(dpy, static_cast<KeyCode>(k.keycode), static_cast<int>(group), 0);
    if (here >= 0x20 && here <= 0x7e) return False;   // a Latin character here too: GLUT has it
    const KeySym first = XkbKeycodeToKeysym(dpy, static_cast<KeyCode>(k.keycode), 0, 0);
    return first >= XK_a && first <= XK_z ? True : False;
}

}  // namespace

int platform_take_ctrl_letter() {
    Display* dpy = glXGetCurrentDisplay();
    if (!dpy) return 0;
    XEventsQueued(dpy, QueuedAfterReading);
    XEvent e;
    if (!XCheckIfEvent(dpy, &e, ctrl_in_other_layout, nullptr)) return 0;
    const KeySym first = XkbKeycodeToKeysym(dpy, static_cast<KeyCode>(e.xkey.keycode), 0, 0);
    return static_cast<int>(first - XK_a) + 1;
}

void platform_window_sync() {
    if (Display* dpy = glXGetCurrentDisplay()) XSync(dpy, False);
}

bool platform_pointer_position(int* x, int* y) {
    Display* dpy = glXGetCurrentDisplay();
    if (!dpy) return false;
    Window root_ret, child_ret;
    int root_x = 0, root_y = 0, win_x = 0, win_y = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(dpy, DefaultRootWindow(dpy), &root_ret, &child_ret, &root_x, &root_y,
                       &win_x, &win_y, &mask))
        return false;
    *x = root_x;
    *y = root_y;
    return true;
}

namespace {

// Asks the owner of selection for its text as UTF-8 and waits up to
// timeout_ms for it. False when there is no owner or no text.
bool read_selection(Display* dpy, Window w, Atom selection, int timeout_ms, std::string* out) {
    const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    const Atom target_prop = XInternAtom(dpy, "VANTIRO_PASTE", False);
    if (XGetSelectionOwner(dpy, selection) == None) return false;
    XConvertSelection(dpy, selection, utf8, target_prop, w, CurrentTime);
    XFlush(dpy);
    for (int waited = 0; waited <= timeout_ms;) {
        while (XPending(dpy)) {
            XEvent e;
            XNextEvent(dpy, &e);
            if (e.type != SelectionNotify || e.xselection.selection != selection) continue;
            if (e.xselection.property == None) return false;
            Atom type;
            int format;
            unsigned long items = 0, left = 0;
            unsigned char* data = nullptr;
            // At most 64 KiB of text: more than a text field can hold.
            if (XGetWindowProperty(dpy, w, target_prop, 0, 16384, True, AnyPropertyType, &type, &format, &items,
                                   &left, &data) != Success || !data)
                return false;
            const bool text = format == 8 && type != XInternAtom(dpy, "INCR", False);
            if (text) out->assign(reinterpret_cast<const char*>(data), items);
            XFree(data);
            return text;
        }
        pollfd p{ConnectionNumber(dpy), POLLIN, 0};
        poll(&p, 1, 20);
        waited += 20;
    }
    return false;
}

}  // namespace

bool platform_clipboard_text(std::string* utf8, std::string* err) {
    utf8->clear();
    // A connection of our own, so that the wait never takes events from
    // GLUT's.
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        if (err) *err = "no X display to paste from";
        return false;
    }
    const Window w = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    const bool got = read_selection(dpy, w, XInternAtom(dpy, "CLIPBOARD", False), 500, utf8) ||
                     read_selection(dpy, w, XA_PRIMARY, 500, utf8);
    XDestroyWindow(dpy, w);
    XCloseDisplay(dpy);
    if (!got && err) *err = "the clipboard holds no text";
    return got;
}
