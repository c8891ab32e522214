/* Preloaded into the editor by bench/idle.sh: logs, for every input event
 * the editor takes from the X server, the time until the next buffer swap,
 * i.e. until the frame showing the change is presented. One line per swap
 * that follows input: "latency_us N". */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <GL/glx.h>
#include <dlfcn.h>
#include <stdio.h>
#include <time.h>

static double pending_since = -1;

static double now_us(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

int XNextEvent(Display* d, XEvent* e) {
    static int (*real)(Display*, XEvent*);
    if (!real) real = (int (*)(Display*, XEvent*))dlsym(RTLD_NEXT, "XNextEvent");
    int r = real(d, e);
    if ((e->type == MotionNotify || e->type == ButtonPress || e->type == KeyPress) &&
        pending_since < 0)
        pending_since = now_us();
    return r;
}

void glXSwapBuffers(Display* d, GLXDrawable w) {
    static void (*real)(Display*, GLXDrawable);
    if (!real) real = (void (*)(Display*, GLXDrawable))dlsym(RTLD_NEXT, "glXSwapBuffers");
    real(d, w);
    if (pending_since >= 0) {
        fprintf(stderr, "latency_us %.0f\n", now_us() - pending_since);
        pending_since = -1;
    }
}
