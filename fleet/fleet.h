// The fleet's link through an MQTT broker (libmosquitto): the scene
// message's format, the card's side (subscribe, a queue its loop polls,
// its state) and the publisher's side (one scene, the fleet's states).
// This path does not go through csdk: cards connect out to the broker.
// Topics: vantiro/sign/NAME/scene, vantiro/group/G/scene, vantiro/all/scene
// (scenes, retained, QoS 1) and vantiro/sign/NAME/state (retained; the
// broker publishes "offline" there as the card's last will).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A scene as published: a sequence number and the stick's script (its
// lines, digit modules included, as in ledsys/CMD/cmd.txt). The message:
//   "vantiro-scene 1\nseq N\n" then the script's bytes.
struct Fleet_scene {
    uint64_t seq = 0;
    std::string script;
};

// Largest message a card takes, the broker's message_size_limit too.
constexpr size_t fleet_message_limit = 4u << 20;

std::string encode_fleet_scene(const Fleet_scene& s);
// False with the reason when bytes are not a scene message.
bool decode_fleet_scene(const void* bytes, size_t n, Fleet_scene* out, std::string* why);
// FNV-1a 64 of the script, as 16 hex digits: names a scene in the state.
std::string fleet_scene_hash(const std::string& script);

// Where the broker is and how to log in. Secrets are never printed.
struct Broker_options {
    std::string host = "127.0.0.1";
    int port = 1883;
    std::string username, password;   // empty: anonymous
    std::string cafile;                // not empty: TLS, the broker's certificate checked against it
};
// The password from the first line of file (empty path: none), so it is
// never on a command line. False with the reason.
bool read_broker_secret(const std::string& file, std::string* password, std::string* why);

// "HOST[:PORT]" into o. False with the reason.
bool parse_broker(const std::string& text, Broker_options* o, std::string* why);

// A message as the card's loop takes it from the queue.
struct Fleet_message {
    std::string topic;
    std::string payload;
};

// The card's side: connects out (reconnecting by itself), subscribes to its
// three scene topics, queues what comes (libmosquitto's network thread
// pushes, the card's loop polls with take), and publishes its state.
class Fleet_card_link {
public:
    Fleet_card_link();
    ~Fleet_card_link();
    // Starts the network thread. False with the reason.
    bool start(const Broker_options& b, const std::string& sign, const std::string& group, std::string* why);
    // The oldest queued message; false when there is none. The queue holds
    // at most 64 messages (older ones dropped: the newest scene wins).
    bool take(Fleet_message* out);
    // True once after each (re)connection: the state is then sent again.
    // Called often from the card's loop; while the first connect has not
    // got under way (the broker was away), it is tried again every 2 s.
    bool take_connected();
    // Once for each new reason the broker will not have the card (a login
    // refused, a TLS check failed), as "fleet: broker HOST:PORT: …"; the
    // card keeps trying. Never holds a secret.
    bool take_refusal(std::string* why);
    // The state, retained, QoS 1.
    void publish_state(const std::string& text);
    void stop();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Publishes one scene (retained, QoS 1) to topic and waits until the broker
// has it (its PUBACK), at most timeout_ms. False with the reason ("the
// broker refused it: …", "too large for the broker: …").
bool fleet_publish(const Broker_options& b, const std::string& topic, const std::string& payload,
                   int timeout_ms, std::string* why);

// Publishes s to topic and counts, for up to wait_ms, the signs whose
// state names s.seq (*confirmed) among the signs the broker knows (*signs).
// False with the reason when the publish failed.
bool fleet_publish_and_count(const Broker_options& b, const std::string& topic, const Fleet_scene& s, int wait_ms,
                             int* confirmed, int* signs, std::string* why);

// Every retained message under vantiro/# the broker holds, read within
// wait_ms. False with the reason when the broker cannot be reached.
bool fleet_read_retained(const Broker_options& b, int wait_ms, std::vector<Fleet_message>* out, std::string* why);
