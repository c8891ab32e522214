// A simulated card on a free port of 127.0.0.1 (or the given one), served
// by a thread of its own, for tests that talk to it over the network.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "card/card_sim.h"
#include "tests/unit/test_scene.h"

class Running_card {
public:
    explicit Running_card(const std::string& flash, Card_faults faults = {}, int port = 0, int width = 256,
                          int height = 128)
        : sim(test_fonts(), width, height, flash, faults, nullptr) {
        std::string err;
        listening = sim.listen_on("127.0.0.1", port, &err);
        thread = std::thread([this] {
            while (!stop) sim.poll_once(5);
        });
    }
    ~Running_card() {
        stop = true;
        thread.join();
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(sim.port()); }

    Card_simulator sim;
    bool listening = false;
    std::atomic<bool> stop{false};
    std::thread thread;
};
