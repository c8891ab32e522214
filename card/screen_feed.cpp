#include "card/screen_feed.h"

#include <chrono>
#include <cstring>

int64_t screen_feed_now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void Screen_feed::publish(const Led_framebuffer& screen, int brightness, long lines_run, long connections,
                          int64_t save_ms) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const size_t n = static_cast<size_t>(screen.width()) * static_cast<size_t>(screen.height());
        frame_.width = screen.width();
        frame_.height = screen.height();
        frame_.leds.resize(n);
        for (int y = 0; y < screen.height(); ++y)
            std::memcpy(frame_.leds.data() + static_cast<size_t>(y) * static_cast<size_t>(screen.width()),
                        screen.row(y), static_cast<size_t>(screen.width()));
        frame_.brightness = brightness;
        frame_.lines_run = lines_run;
        frame_.connections = connections;
        frame_.save_ms = save_ms;
        frame_.change_ms = screen_feed_now_ms();
        ++frame_.version;
    }
    newer_.notify_all();
}

void Screen_feed::update_facts(long lines_run, long connections, int64_t save_ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    frame_.lines_run = lines_run;
    frame_.connections = connections;
    frame_.save_ms = save_ms;
}

bool Screen_feed::wait_newer(uint64_t seen, Screen_frame* out, int timeout_ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (timeout_ms > 0)
        newer_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                        [&] { return stopped_ || frame_.version > seen; });
    if (stopped_ || frame_.version <= seen) return false;
    *out = frame_;   // reuses out's buffer once it has the screen's size
    return true;
}

bool Screen_feed::latest(Screen_frame* out) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (frame_.version == 0) return false;
    *out = frame_;
    return true;
}

void Screen_feed::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
    }
    newer_.notify_all();
}

bool Screen_feed::stopped() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopped_;
}
