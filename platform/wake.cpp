// The main loop's wake-up from other threads: an eventfd that the loop's
// wait polls beside the window system's connection.
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/platform.h"

int platform_wake_fd() {
    // Made once, on first use, whichever thread comes first (the
    // initialisation of a function-local static is safe to race).
    static const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return fd;
}

void platform_wake_main() {
    const int fd = platform_wake_fd();
    if (fd < 0) return;
    const uint64_t one = 1;
    ssize_t n;
    do n = write(fd, &one, sizeof one);
    while (n < 0 && errno == EINTR);   // EAGAIN: the count is full, a wake-up is pending anyway
}
