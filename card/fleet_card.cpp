#include "card/fleet_card.h"

#include <cstdio>
#include <ctime>

#include "platform/platform.h"

bool Fleet_card::run(Card_simulator& sim, const std::string& payload, std::string* why) {
    Fleet_scene s;
    if (!decode_fleet_scene(payload.data(), payload.size(), &s, why)) return false;
    if (s.seq <= seq_) {
        *why = "scene " + std::to_string(s.seq) + " is not newer than " + std::to_string(seq_) + "; kept";
        return false;
    }
    // On a copy first: the screen changes only when every line is known.
    Card_model trial = sim.card;
    trial.reset();
    const Card_counts before = trial.counts;
    trial.run_script(reinterpret_cast<const uint8_t*>(s.script.data()), s.script.size());
    if (trial.counts.ignored != before.ignored) {
        *why = "scene " + std::to_string(s.seq) + ": " + std::to_string(trial.counts.ignored - before.ignored) +
               " line(s) the card does not know; the screen is kept";
        return false;
    }
    sim.card = std::move(trial);
    sim.changed = true;
    ++sim.screen_version;
    seq_ = s.seq;
    hash_ = fleet_scene_hash(s.script);
    lines_ = sim.card.counts.run - before.run;
    std::string err;
    if (!kept_path_.empty() && !platform_write_file_atomic(kept_path_.c_str(), payload.data(), payload.size(), &err))
        *why = "the scene runs but is not kept: " + err;
    else
        why->clear();
    return true;
}

void Fleet_card::report() {
    // One line of "key value" pairs: what the fleet listing reads.
    const std::string state = "online\nseq " + std::to_string(seq_) + "\nhash " + (hash_.empty() ? "-" : hash_) +
                              "\nlines " + std::to_string(lines_) + "\ntime " +
                              std::to_string(static_cast<long long>(std::time(nullptr))) + "\ngroup " + (group_.empty() ? "-" : group_) + "\nproblem " +
                              (problem_.empty() ? "-" : problem_) + "\n";
    link_.publish_state(state);
}

bool Fleet_card::start(Card_simulator& sim, const Broker_options& b, const std::string& sign,
                       const std::string& group, const std::string& kept_path, std::string* why) {
    std::vector<uint8_t> kept;
    std::string err;
    if (!kept_path.empty() && platform_read_file(kept_path.c_str(), fleet_message_limit + 64, &kept, &err)) {
        if (!run(sim, std::string(kept.begin(), kept.end()), &problem_))
            problem_ = "the kept scene: " + problem_;
    }
    kept_path_ = kept_path;
    group_ = group;
    return link_.start(b, sign, group, why);
}

void Fleet_card::poll(Card_simulator& sim) {
    Fleet_message m;
    bool any = link_.take_connected();
    std::string refusal;
    if (link_.take_refusal(&refusal)) std::fprintf(stderr, "card: %s\n", refusal.c_str());
    while (link_.take(&m)) {
        std::string why;
        run(sim, m.payload, &why);
        // A scene already run (a retained copy seen again) is no problem.
        if (why.find("is not newer") == std::string::npos) problem_ = why.empty() ? "" : m.topic + ": " + why;
        any = true;
    }
    if (any) report();
}
