#include "app/broker_send.h"

#include "platform/platform.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "app/config.h"
#include "fleet/fleet.h"

namespace {

void say(Broker_sender& bs, const std::string& text, bool failed) {
    {
        std::lock_guard<std::mutex> g(bs.lock);
        bs.status = text;
        bs.status_new = true;
        bs.status_failed = failed;
    }
    platform_wake_main();   // the window shows it now
}

void run(Broker_sender* sender) {
    Broker_sender& bs = *sender;
    std::unique_lock<std::mutex> g(bs.lock);
    for (;;) {
        bs.wake.wait(g, [&bs] { return bs.stopping || bs.waiting; });
        if (bs.stopping) return;
        Fleet_scene s;
        s.script.swap(bs.script);
        const Config_broker config_broker = bs.broker;
        bs.waiting = false;
        g.unlock();
        Broker_options b;
        std::string why, topic;
        const std::string to = config_broker.to;
        topic = to == "all" ? "vantiro/all/scene"
                : to.rfind("group:", 0) == 0 ? "vantiro/group/" + to.substr(6) + "/scene"
                                             : "vantiro/sign/" + to + "/scene";
        s.seq = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count());
        int confirmed = 0, signs = 0;
        say(bs, "broker: publishing the scene to " + to + "…", false);
        if (!parse_broker(config_broker.host, &b, &why) ||
            !read_broker_secret(config_broker.password_file, &b.password, &why) ||
            (b.username = config_broker.user, b.cafile = config_broker.cafile,
             !fleet_publish_and_count(b, topic, s, config_broker.wait_ms, &confirmed, &signs, &why)))
            say(bs, "broker: " + why, true);
        else
            say(bs, "broker: scene " + std::to_string(s.seq) + " published to " + to + "; " + std::to_string(confirmed) +
                    " of " + std::to_string(signs) + " signs confirmed within " +
                    std::to_string(config_broker.wait_ms / 1000.0).substr(0, 4) + " s",
                signs == 0 || confirmed < signs);
        g.lock();
    }
}

}  // namespace

Broker_sender::~Broker_sender() { stop_broker_send(*this); }

void broker_send(Broker_sender& bs, const Config_broker& broker, const std::string& script) {
    std::lock_guard<std::mutex> g(bs.lock);
    if (!bs.running) {
        bs.running = true;
        bs.stopping = false;
        bs.thread = std::thread(run, &bs);
    }
    bs.broker = broker;
    bs.script = script;
    bs.waiting = true;
    bs.wake.notify_all();
}

bool take_broker_status(Broker_sender& bs, std::string* message, bool* failed) {
    std::lock_guard<std::mutex> g(bs.lock);
    if (!bs.status_new) return false;
    *message = bs.status;
    *failed = bs.status_failed;
    bs.status_new = false;
    return true;
}

void stop_broker_send(Broker_sender& bs) {
    {
        std::lock_guard<std::mutex> g(bs.lock);
        if (!bs.running) return;
        bs.stopping = true;
        bs.wake.notify_all();
    }
    bs.thread.join();
    std::lock_guard<std::mutex> g(bs.lock);
    bs.running = bs.stopping = bs.waiting = bs.status_new = false;
}
