// The card's screen handed from the card's loop to readers on other
// threads: the pixel outputs, the web page, the broker link. The loop
// publishes after it ran lines; a reader copies the newest frame when it
// is ready for one, so a slow reader skips frames and never holds the loop
// back (the latest picture always wins). Copies reuse the reader's buffer:
// no allocation once the screen's size is known.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "render/led_framebuffer.h"

// One published picture and what the card knew when it was taken.
struct Screen_frame {
    uint64_t version = 0;    // 0: nothing published yet; grows by one a change
    int width = 0, height = 0;
    std::vector<uint8_t> leds;   // width * height colour codes, row by row (Led_framebuffer's)
    int brightness = -1;     // "set ld" last run (1 brightest .. 9), -1 never set
    long lines_run = 0;      // lines run since the card started
    long connections = 0;    // clients connected on the card protocol
    int64_t change_ms = 0;   // wall-clock time of this change (ms since the epoch)
    int64_t save_ms = 0;     // wall-clock time of the last "file save" (0: none yet)
};

class Screen_feed {
public:
    // Loop side: copies the screen and its facts as a new version. The
    // copy is the only cost to the loop (width * height bytes).
    void publish(const Led_framebuffer& screen, int brightness, long lines_run, long connections,
                 int64_t save_ms);

    // Loop side: new facts without a new picture (say a client came or
    // went); readers waiting for a newer picture are not woken.
    void update_facts(long lines_run, long connections, int64_t save_ms);

    // Reader side: copies the newest frame into out when its version is
    // above seen, waiting up to timeout_ms for one (0: no wait). Returns
    // false on time-out or once stopped.
    bool wait_newer(uint64_t seen, Screen_frame* out, int timeout_ms);

    // Reader side: the newest frame, whatever its version (false before
    // the first publish).
    bool latest(Screen_frame* out);

    // Wakes every waiting reader for good: wait_newer returns false.
    void stop();
    bool stopped();

private:
    std::mutex mutex_;
    std::condition_variable newer_;
    Screen_frame frame_;
    bool stopped_ = false;
};

// Milliseconds since the epoch, for the frames' times.
int64_t screen_feed_now_ms();
