#include "fleet/fleet.h"

#include <mosquitto.h>

#include "platform/platform.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <cerrno>
#include <cstdlib>

namespace {

const char magic[] = "vantiro-scene 1\n";

void start_library() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// Applies b's login and TLS to m. False with the reason (no secret in it).
bool log_in(mosquitto* m, const Broker_options& b, std::string* why) {
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    if (!b.username.empty() &&
        mosquitto_username_pw_set(m, b.username.c_str(), b.password.empty() ? nullptr : b.password.c_str()) !=
            MOSQ_ERR_SUCCESS) {
        *why = "fleet: the user name or password cannot be used";
        return false;
    }
    if (!b.cafile.empty() && mosquitto_tls_set(m, b.cafile.c_str(), nullptr, nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS) {
        *why = "fleet: TLS with " + b.cafile + " cannot be set up";
        return false;
    }
    return true;
}

std::string where(const Broker_options& b) { return b.host + ":" + std::to_string(b.port); }

}  // namespace

std::string encode_fleet_scene(const Fleet_scene& s) {
    return std::string(magic) + "seq " + std::to_string(s.seq) + "\n" + s.script;
}

bool decode_fleet_scene(const void* bytes, size_t n, Fleet_scene* out, std::string* why) {
    const char* p = static_cast<const char*>(bytes);
    const size_t m = sizeof magic - 1;
    if (n < m || std::memcmp(p, magic, m) != 0) {
        *why = "not a scene (it does not start with \"vantiro-scene 1\")";
        return false;
    }
    const char* end = p + n;
    const char* q = p + m;
    if (end - q < 5 || std::memcmp(q, "seq ", 4) != 0) {
        *why = "not a scene (no \"seq N\" line)";
        return false;
    }
    q += 4;
    uint64_t seq = 0;
    int digits = 0;
    while (q < end && *q >= '0' && *q <= '9' && digits < 19) seq = seq * 10 + static_cast<uint64_t>(*q++ - '0'), ++digits;
    if (digits == 0 || q >= end || *q != '\n') {
        *why = "not a scene (its sequence is not a number)";
        return false;
    }
    out->seq = seq;
    out->script.assign(q + 1, end);
    return true;
}

std::string fleet_scene_hash(const std::string& script) {
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : script) h = (h ^ c) * 1099511628211ull;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

bool read_broker_secret(const std::string& file, std::string* password, std::string* why) {
    password->clear();
    if (file.empty()) return true;
    std::vector<uint8_t> bytes;
    if (!platform_read_file(file.c_str(), 4096, &bytes, why)) {
        *why = "fleet: " + *why;
        return false;
    }
    std::string text(bytes.begin(), bytes.end());
    *password = text.substr(0, text.find_first_of("\r\n"));
    return true;
}

bool parse_broker(const std::string& text, Broker_options* o, std::string* why) {
    const size_t colon = text.rfind(':');
    o->host = text.substr(0, colon);
    o->port = 1883;
    if (colon != std::string::npos) {
        const std::string port = text.substr(colon + 1);
        char* end = nullptr;
        const long p = std::strtol(port.c_str(), &end, 10);
        if (port.empty() || *end || p < 1 || p > 65535) {
            *why = "fleet: " + text + ": the port is not 1..65535";
            return false;
        }
        o->port = static_cast<int>(p);
    }
    if (o->host.empty()) {
        *why = "fleet: no broker host in \"" + text + "\"";
        return false;
    }
    return true;
}

// --- The card's side ---------------------------------------------------------

struct Fleet_card_link::Impl {
    mosquitto* m = nullptr;
    std::string topics[3];
    std::string state_topic;
    std::mutex lock;
    std::deque<Fleet_message> queue;
    bool started = false;
    bool connected = false;   // a connection came since take_connected
    // The broker refused or was away at the first connect: the network
    // thread, which retries only a connection it once made, is not started
    // yet; take_connected tries again every 2 s until a connect is under way.
    std::string host;
    int port = 0;
    std::chrono::steady_clock::time_point retry_at;
    // Why the broker will not have the card (a refused login, a TLS check
    // that failed), kept until the card's loop has said it; cleared by a
    // connection. The network thread retries meanwhile.
    std::string refusal;
    bool refusal_told = true;
    bool accepted = false;    // the broker's CONNACK came for this connection
    bool refused = false;     // the broker's CONNACK refused this connection
    std::string last_error;   // the library's last error line
};

namespace {

// A new reason the broker will not have the card; i->lock held.
void note_refusal_locked(Fleet_card_link::Impl* i, const std::string& why) {
    if (why == i->refusal) return;
    i->refusal = why;
    i->refusal_told = false;
}

void note_refusal(Fleet_card_link::Impl* i, const std::string& why) {
    std::lock_guard<std::mutex> g(i->lock);
    note_refusal_locked(i, why);
}

void card_connected(mosquitto* m, void* user, int rc) {
    auto* i = static_cast<Fleet_card_link::Impl*>(user);
    if (rc != 0) {   // the network thread retries by itself
        std::lock_guard<std::mutex> g(i->lock);
        note_refusal_locked(i, std::string("refused the card: ") + mosquitto_reason_string(rc));
        i->refused = true;
        return;
    }
    for (const std::string& t : i->topics)
        if (!t.empty()) mosquitto_subscribe(m, nullptr, t.c_str(), 1);
    std::lock_guard<std::mutex> g(i->lock);
    i->accepted = i->connected = true;
    i->refusal.clear();
    i->refusal_told = true;
}

void card_disconnected(mosquitto*, void* user, int rc) {
    auto* i = static_cast<Fleet_card_link::Impl*>(user);
    if (rc == 0) return;   // our own disconnect, at the card's end
    std::lock_guard<std::mutex> g(i->lock);
    const bool was_accepted = i->accepted;
    i->accepted = false;
    if (i->refused) {   // the close that follows a refusal: its reason is already said
        i->refused = false;
        return;
    }
    note_refusal_locked(i, was_accepted ? "the connection was lost; trying again"
                                        : "the broker closed the connection before accepting the card "
                                          "(does it want TLS, or a login?); trying again");
}

// The library's own errors carry what a connect hook never hears of: a TLS
// handshake that failed (certificate not trusted, host name not in it).
// They never hold the password, which the library sends only inside TLS or
// the CONNECT packet.
void card_log(mosquitto*, void* user, int level, const char* text) {
    if (level != MOSQ_LOG_ERR || !text) return;
    auto* i = static_cast<Fleet_card_link::Impl*>(user);
    std::lock_guard<std::mutex> g(i->lock);
    i->last_error = text;
    if (std::strncmp(text, "OpenSSL Error", 13) == 0) note_refusal_locked(i, text);
}

// A connect that failed at once. The reason when it is one the card cannot
// wait out by itself in the network thread: nothing listens yet, or the
// TLS handshake failed (the library's log says why).
std::string connect_failure(Fleet_card_link::Impl* i, int rc) {
    std::string why = rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
    std::lock_guard<std::mutex> g(i->lock);
    if (rc == MOSQ_ERR_TLS && !i->last_error.empty()) why = i->last_error;
    return why;
}

void card_message(mosquitto*, void* user, const mosquitto_message* msg) {
    auto* i = static_cast<Fleet_card_link::Impl*>(user);
    std::lock_guard<std::mutex> g(i->lock);
    if (i->queue.size() >= 64) i->queue.pop_front();
    i->queue.push_back(Fleet_message{msg->topic ? msg->topic : "",
                                     std::string(static_cast<const char*>(msg->payload),
                                                 static_cast<size_t>(msg->payloadlen > 0 ? msg->payloadlen : 0))});
}

}  // namespace

Fleet_card_link::Fleet_card_link() : impl_(new Impl) {}
Fleet_card_link::~Fleet_card_link() { stop(); }

bool Fleet_card_link::start(const Broker_options& b, const std::string& sign, const std::string& group,
                            std::string* why) {
    start_library();
    Impl& i = *impl_;
    i.topics[0] = "vantiro/sign/" + sign + "/scene";
    i.topics[1] = "vantiro/all/scene";
    i.topics[2] = group.empty() ? "" : "vantiro/group/" + group + "/scene";
    i.state_topic = "vantiro/sign/" + sign + "/state";
    const std::string id = "vantiro-card-" + sign;
    i.m = mosquitto_new(id.c_str(), true, &i);
    if (!i.m) {
        *why = "fleet: cannot make a broker client";
        return false;
    }
    if (!log_in(i.m, b, why)) return false;
    static const char offline[] = "offline";
    mosquitto_will_set(i.m, i.state_topic.c_str(), sizeof offline - 1, offline, 1, true);
    mosquitto_connect_callback_set(i.m, card_connected);
    mosquitto_disconnect_callback_set(i.m, card_disconnected);
    mosquitto_message_callback_set(i.m, card_message);
    mosquitto_log_callback_set(i.m, card_log);
    mosquitto_reconnect_delay_set(i.m, 1, 4, false);
    i.host = b.host;
    i.port = b.port;
    const int rc = mosquitto_connect_async(i.m, b.host.c_str(), b.port, 30);
    if (rc == MOSQ_ERR_ERRNO || rc == MOSQ_ERR_TLS) {
        // Refused at once (nothing listens yet, or its certificate is not
        // trusted): tried again from the card's loop, as a card may well
        // start before its broker, and a sign stays lit meanwhile.
        note_refusal(&i, connect_failure(&i, rc));
        i.retry_at = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        return true;
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        *why = "fleet: broker " + where(b) + ": " + mosquitto_strerror(rc);
        return false;
    }
    if (mosquitto_loop_start(i.m) != MOSQ_ERR_SUCCESS) {
        *why = "fleet: the broker's network thread does not start";
        return false;
    }
    i.started = true;
    return true;
}

bool Fleet_card_link::take(Fleet_message* out) {
    std::lock_guard<std::mutex> g(impl_->lock);
    if (impl_->queue.empty()) return false;
    *out = std::move(impl_->queue.front());
    impl_->queue.pop_front();
    return true;
}

bool Fleet_card_link::take_connected() {
    Impl& i = *impl_;
    if (i.m && !i.started && std::chrono::steady_clock::now() >= i.retry_at) {
        // No network thread runs yet, so this thread alone touches the client.
        i.retry_at = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        const int rc = mosquitto_connect_async(i.m, i.host.c_str(), i.port, 30);
        if (rc == MOSQ_ERR_SUCCESS && mosquitto_loop_start(i.m) == MOSQ_ERR_SUCCESS)
            i.started = true;
        else if (rc != MOSQ_ERR_SUCCESS)
            note_refusal(&i, connect_failure(&i, rc));
    }
    std::lock_guard<std::mutex> g(impl_->lock);
    const bool c = impl_->connected;
    impl_->connected = false;
    return c;
}

bool Fleet_card_link::take_refusal(std::string* why) {
    std::lock_guard<std::mutex> g(impl_->lock);
    if (impl_->refusal_told) return false;
    impl_->refusal_told = true;
    *why = "fleet: broker " + impl_->host + ":" + std::to_string(impl_->port) + ": " + impl_->refusal;
    return true;
}

void Fleet_card_link::publish_state(const std::string& text) {
    if (!impl_->m) return;
    mosquitto_publish(impl_->m, nullptr, impl_->state_topic.c_str(), static_cast<int>(text.size()), text.data(), 1,
                      true);
}

void Fleet_card_link::stop() {
    if (!impl_ || !impl_->m) return;
    if (impl_->started) {
        mosquitto_disconnect(impl_->m);
        mosquitto_loop_stop(impl_->m, false);
    }
    mosquitto_destroy(impl_->m);
    impl_->m = nullptr;
    impl_->started = false;
}

// --- The publisher's side -----------------------------------------------------

namespace {

struct Publisher {
    std::mutex lock;
    std::condition_variable wake;
    bool connected = false, acked = false, gone = false;
    int connect_rc = -1, ack_rc = 0;
    std::vector<Fleet_message>* retained = nullptr;
    bool all = false;          // keep every message, not only retained ones
    std::string last_error;    // the library's last error line (a failed TLS check)
};

void pub_log(mosquitto*, void* user, int level, const char* text) {
    if (level != MOSQ_LOG_ERR || !text) return;
    auto* p = static_cast<Publisher*>(user);
    std::lock_guard<std::mutex> g(p->lock);
    p->last_error = text;
    p->wake.notify_all();
}

void pub_connected(mosquitto*, void* user, int rc, int, const mosquitto_property*) {
    auto* p = static_cast<Publisher*>(user);
    std::lock_guard<std::mutex> g(p->lock);
    p->connected = rc == 0;
    p->connect_rc = rc;
    p->wake.notify_all();
}

void pub_published(mosquitto*, void* user, int, int rc, const mosquitto_property*) {
    auto* p = static_cast<Publisher*>(user);
    std::lock_guard<std::mutex> g(p->lock);
    p->acked = true;
    p->ack_rc = rc;
    p->wake.notify_all();
}

void pub_disconnected(mosquitto*, void* user, int, const mosquitto_property*) {
    auto* p = static_cast<Publisher*>(user);
    std::lock_guard<std::mutex> g(p->lock);
    p->gone = true;
    p->wake.notify_all();
}

void pub_message(mosquitto*, void* user, const mosquitto_message* msg, const mosquitto_property*) {
    auto* p = static_cast<Publisher*>(user);
    if (!msg->retain && !p->all) return;
    std::lock_guard<std::mutex> g(p->lock);
    p->retained->push_back(Fleet_message{msg->topic, std::string(static_cast<const char*>(msg->payload),
                                                                 static_cast<size_t>(msg->payloadlen))});
}

// A connected client for one job; null with the reason.
mosquitto* connect_publisher(const Broker_options& b, Publisher* p, int timeout_ms, std::string* why) {
    start_library();
    mosquitto* m = mosquitto_new(nullptr, true, p);
    if (!m) {
        *why = "fleet: cannot make a broker client";
        return nullptr;
    }
    if (!log_in(m, b, why)) {
        mosquitto_destroy(m);
        return nullptr;
    }
    mosquitto_connect_v5_callback_set(m, pub_connected);
    mosquitto_log_callback_set(m, pub_log);
    mosquitto_publish_v5_callback_set(m, pub_published);
    mosquitto_disconnect_v5_callback_set(m, pub_disconnected);
    mosquitto_message_v5_callback_set(m, pub_message);
    int rc = mosquitto_connect(m, b.host.c_str(), b.port, 30);
    if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop_start(m);
    if (rc != MOSQ_ERR_SUCCESS) {
        *why = "fleet: broker " + where(b) + ": " +
               (rc == MOSQ_ERR_ERRNO                          ? std::string(std::strerror(errno))
                : rc == MOSQ_ERR_TLS && !p->last_error.empty() ? p->last_error
                                                               : std::string(mosquitto_strerror(rc)));
        mosquitto_destroy(m);
        return nullptr;
    }
    std::unique_lock<std::mutex> g(p->lock);
    // A TLS handshake may fail in the network thread: its error line ends
    // the wait too.
    p->wake.wait_for(g, std::chrono::milliseconds(timeout_ms),
                     [&] { return p->connect_rc >= 0 || p->gone || !p->last_error.empty(); });
    if (!p->connected) {
        *why = "fleet: broker " + where(b) + " did not accept the connection" +
               (p->connect_rc > 0           ? std::string(": ") + mosquitto_reason_string(p->connect_rc)
                : !p->last_error.empty() ? ": " + p->last_error
                : p->gone         ? std::string(": it closed the connection unanswered (does it want TLS, or a login?)")
                                  : " within " + std::to_string(timeout_ms) + " ms");
        g.unlock();
        mosquitto_disconnect(m);
        mosquitto_loop_stop(m, true);
        mosquitto_destroy(m);
        return nullptr;
    }
    return m;
}

void end_publisher(mosquitto* m) {
    mosquitto_disconnect(m);
    mosquitto_loop_stop(m, false);
    mosquitto_destroy(m);
}

}  // namespace

bool fleet_publish(const Broker_options& b, const std::string& topic, const std::string& payload, int timeout_ms,
                   std::string* why) {
    Publisher p;
    mosquitto* m = connect_publisher(b, &p, timeout_ms, why);
    if (!m) return false;
    const int rc = mosquitto_publish_v5(m, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                                        1, true, nullptr);
    bool ok = false;
    if (rc == MOSQ_ERR_OVERSIZE_PACKET)
        *why = "fleet: the scene (" + std::to_string(payload.size()) + " bytes) is too large for the broker; refused";
    else if (rc != MOSQ_ERR_SUCCESS)
        *why = std::string("fleet: publish: ") + mosquitto_strerror(rc);
    else {
        std::unique_lock<std::mutex> g(p.lock);
        p.wake.wait_for(g, std::chrono::milliseconds(timeout_ms), [&] { return p.acked || p.gone; });
        if (!p.acked)
            *why = "fleet: broker " + where(b) + " did not confirm the scene within " + std::to_string(timeout_ms) +
                   " ms (refused or lost)";
        else if (p.ack_rc >= 128)
            *why = std::string("fleet: the broker refused the scene: ") + mosquitto_reason_string(p.ack_rc);
        else
            ok = true;
    }
    end_publisher(m);
    return ok;
}

bool fleet_read_retained(const Broker_options& b, int wait_ms, std::vector<Fleet_message>* out, std::string* why) {
    Publisher p;
    p.retained = out;
    mosquitto* m = connect_publisher(b, &p, wait_ms, why);
    if (!m) return false;
    mosquitto_subscribe(m, nullptr, "vantiro/#", 1);
    // Retained messages come right after the subscription; then quiet.
    size_t seen = static_cast<size_t>(-1);
    for (int t = 0; t < wait_ms; t += 200) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::lock_guard<std::mutex> g(p.lock);
        if (out->size() == seen && t >= 400) break;
        seen = out->size();
    }
    end_publisher(m);
    return true;
}

bool fleet_publish_and_count(const Broker_options& b, const std::string& topic, const Fleet_scene& s, int wait_ms,
                             int* confirmed, int* signs, std::string* why) {
    *confirmed = *signs = 0;
    if (!fleet_publish(b, topic, encode_fleet_scene(s), wait_ms, why)) return false;
    // The states as they come (retained ones first, then each card's new
    // one): the newest per sign is kept.
    std::vector<Fleet_message> states;
    Publisher p;
    p.retained = &states;
    p.all = true;
    mosquitto* m = connect_publisher(b, &p, wait_ms, why);
    if (!m) return false;
    mosquitto_subscribe(m, nullptr, "vantiro/sign/+/state", 1);
    const std::string want = "\nseq " + std::to_string(s.seq) + "\n";
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
        {
            std::lock_guard<std::mutex> g(p.lock);
            std::vector<std::string> names;
            int yes = 0;
            for (size_t i = states.size(); i-- > 0;) {   // newest first
                bool seen = false;
                for (const std::string& n : names) seen |= n == states[i].topic;
                if (seen) continue;
                names.push_back(states[i].topic);
                yes += states[i].payload.find(want) != std::string::npos;
            }
            *confirmed = yes;
            *signs = static_cast<int>(names.size());
            if (*signs > 0 && yes == *signs) break;
        }
        if (std::chrono::steady_clock::now() >= end) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    end_publisher(m);
    return true;
}
