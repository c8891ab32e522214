/* Preloaded into the editor by bench/idle.sh, bench/live_send.sh and
 * bench/autosave.sh: logs, for every input event the editor takes from the
 * X server, the time until the next buffer swap, i.e. until the frame
 * showing the change is presented. One line per swap that follows input:
 * "latency_us N at T" (T: the swap's end, microseconds of CLOCK_MONOTONIC).
 *
 * It also logs each write of the recovery copy, from the nameless
 * temporary's opening to the folder's flush after its rename over
 * scene.recovery: "recovery_us START END" (same clock), so a frame can be
 * told to have run while a copy was being written. */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <GL/glx.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

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
        const double t = now_us();
        fprintf(stderr, "latency_us %.0f at %.0f\n", t - pending_since, t);
        pending_since = -1;
    }
}

/* Per thread: when its last nameless temporary was opened, and whether it
 * has just renamed one over scene.recovery (the folder's flush follows). */
static __thread double temporary_opened = -1;
static __thread int recovery_renamed = 0;

int openat(int dir, const char* path, int flags, ...) {
    static int (*real)(int, const char*, int, ...);
    if (!real) real = (int (*)(int, const char*, int, ...))dlsym(RTLD_NEXT, "openat");
    va_list a;
    va_start(a, flags);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(a, mode_t) : 0;
    va_end(a);
    if ((flags & O_TMPFILE) == O_TMPFILE) temporary_opened = now_us();
    return real(dir, path, flags, mode);
}

/* The same call under its large-file name (one and the same on 64-bit). */
int openat64(int dir, const char* path, int flags, ...) __attribute__((alias("openat")));

int renameat(int from_dir, const char* from, int to_dir, const char* to) {
    static int (*real)(int, const char*, int, const char*);
    if (!real) real = (int (*)(int, const char*, int, const char*))dlsym(RTLD_NEXT, "renameat");
    int r = real(from_dir, from, to_dir, to);
    const char* base = strrchr(to, '/');
    if (r == 0 && strcmp(base ? base + 1 : to, "scene.recovery") == 0) recovery_renamed = 1;
    return r;
}

int fsync(int fd) {
    static int (*real)(int);
    if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    int r = real(fd);
    if (recovery_renamed) {
        fprintf(stderr, "recovery_us %.0f %.0f\n", temporary_opened, now_us());
        recovery_renamed = 0;
    }
    return r;
}
