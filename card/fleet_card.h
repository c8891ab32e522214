// The card as a sign of a fleet: scenes from the broker (see fleet/fleet.h)
// run on its model, newest sequence first, all lines or none; the last one
// run is kept in a file beside its flash and shown again at start; its
// state goes back to the broker after every message.
#pragma once

#include <string>

#include "card/card_sim.h"
#include "fleet/fleet.h"

class Fleet_card {
public:
    // Shows the scene kept at kept_path (when there is one), then connects.
    // False with the reason.
    bool start(Card_simulator& sim, const Broker_options& b, const std::string& sign, const std::string& group,
               const std::string& kept_path, std::string* why);
    // From the card's loop: every queued message handled.
    void poll(Card_simulator& sim);
    void stop() { link_.stop(); }

    // Runs a scene message: true when it is newer than the last one run and
    // every line of it is one the card model knows (then the screen shows
    // it); otherwise the screen stays and *why says why.
    bool run(Card_simulator& sim, const std::string& payload, std::string* why);

    uint64_t seq() const { return seq_; }
    const std::string& hash() const { return hash_; }

private:
    void report();

    Fleet_card_link link_;
    std::string kept_path_, group_;
    uint64_t seq_ = 0;
    std::string hash_;
    long lines_ = 0;
    std::string problem_;
};
