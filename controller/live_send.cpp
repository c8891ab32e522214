#include "controller/live_send.h"

#include "platform/platform.h"

#include <algorithm>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "controller/script_writer.h"
#include "csdk/csdk.h"

namespace {

class Line_list final : public Script_out {
public:
    explicit Line_list(bool paced) : paced_(paced) {}
    void line(const char* bytes, size_t n, const Line_info& info) override {
        lines.push_back(Live_line{info.tag, paced_ ? info.wait_ms : 0, std::string(bytes, n)});
    }
    std::vector<Live_line> lines;

private:
    bool paced_;
};

}  // namespace

// The sender's state, shared with the main thread under `lock`.
struct Live_sender::Sender {
    std::mutex lock;
    std::condition_variable wake;
    std::thread thread;
    bool running = false, stopping = false, busy = false;
    std::vector<Live_card> cards;   // the first is RemotIP's
    std::vector<Live_card_result> results;   // of the last send that ended
    uint64_t generation = 0;        // counts submissions
    std::vector<Live_line> job;     // the newest submission, not yet taken
    bool job_waiting = false;
    std::string status;
    bool status_new = false, status_stderr = false, status_failed = false;
    bool last_ok = false;           // the last send that ended went through whole
};

namespace {

using Sender = Live_sender::Sender;

// A message of the sender: progress, the outcome of a send (to_stderr), or
// its failure (to_stderr and failed).
void post(Sender& sender, const std::string& text, bool to_stderr, bool failed = false) {
    {
        std::lock_guard<std::mutex> g(sender.lock);
        // A message for standard error is never overwritten by mere progress.
        if (sender.status_new && sender.status_stderr && !to_stderr) return;
        sender.status = text;
        sender.status_new = true;
        sender.status_stderr = to_stderr;
        sender.status_failed = failed;
    }
    platform_wake_main();   // the window shows it now, not at its next input
}

// The card's answer to "card count": the lines this connection sent that
// it ran. False with the reason ("card WHERE …") when there is no such
// answer.
bool lines_run_on_connection(int32_t client, const std::string& where, long* count, std::string* why) {
    uint8_t answer[CSDK_ANSWER_MAX];
    int32_t received = 0;
    static const char request[] = "card count";
    if (CARD_Get_Info_Cmd(client, request, sizeof request - 1, answer, &received) != CSDK_OK) {
        *why = "card " + where + " not reachable: " + CSDK_LastError(client);
        return false;
    }
    const std::string text(reinterpret_cast<const char*>(answer), static_cast<size_t>(std::max(received, 0)));
    char tail[64] = {};
    long n = -1;
    if (std::sscanf(text.c_str(), "%ld lines run on this connection%63s", &n, tail) != 1 || n < 0 ||
        text != std::to_string(n) + " lines run on this connection") {
        *why = "card " + where + ": its answer to \"card count\" is not a count (\"" + text.substr(0, 40) + "\")";
        return false;
    }
    *count = n;
    return true;
}

// How one card's send ended.
enum class Card_end { done, failed, superseded };

// Sends lines to one card: "card count", the lines with their waits, then
// "card count" again to confirm. report: post progress and failures to the
// status as they come (the one-card send); otherwise only *why is set.
Card_end send_to_card(Sender& sender, int32_t client, const std::vector<Live_line>& lines, uint64_t mine, bool report,
                      std::string* why) {
    const std::string where = client ? CSDK_Address(client) : "";
    const size_t total = lines.size();
    size_t sent = 0;
    // The card's count of this connection's lines before the first one.
    long before = 0;
    if (total > 0 && client && !lines_run_on_connection(client, where, &before, why)) {
        if (report) post(sender, *why + "; nothing sent", true, true);
        return Card_end::failed;
    }
    for (const Live_line& l : lines) {
        {
            std::lock_guard<std::mutex> h(sender.lock);
            if (sender.stopping || sender.generation != mine) return Card_end::superseded;
        }
        const int32_t r = SCREEN_SendDynamicCmd(client, l.tag, static_cast<int32_t>(l.bytes.size()), l.bytes.data());
        if (r != CSDK_OK) {
            if (r == CSDK_E_HANDLE)
                *why = "card: no card to send to (network sync is off in SysCfg.ini); nothing sent";
            else
                *why = "card " + where + " not reachable: " + CSDK_LastError(client) + "; sent " +
                       std::to_string(sent) + " of " + std::to_string(total) + " lines";
            if (report) post(sender, *why, true, true);
            return Card_end::failed;
        }
        ++sent;
        if (report && sent < total)
            post(sender, "sending " + std::to_string(sent) + "/" + std::to_string(total) + " to " + where, false);
        if (l.wait_ms > 0) {
            std::unique_lock<std::mutex> w(sender.lock);
            sender.wake.wait_for(w, std::chrono::milliseconds(l.wait_ms),
                                 [&] { return sender.stopping || sender.generation != mine; });
        }
    }
    if (total > 0) {
        // Lines go out without an answer: the card's count after the
        // last one says whether it ran them all.
        long after = 0;
        if (!lines_run_on_connection(client, where, &after, why)) {
            *why += "; the send of " + std::to_string(total) + " lines is not confirmed";
            if (report) post(sender, *why, true, true);
            return Card_end::failed;
        }
        if (after - before != static_cast<long>(total)) {
            *why = "card " + where + ": the card ran " + std::to_string(after - before) + " of " +
                   std::to_string(total) + " lines";
            if (report) post(sender, *why, true, true);
            return Card_end::failed;
        }
    }
    if (report) post(sender, "sent " + std::to_string(total) + " lines to " + where, true);
    return Card_end::done;
}

// One send to every card of the fleet: at most live_send_parallel cards at
// once, each on a worker thread of its own, so a slow or absent card holds
// up only its worker (every csdk call is bounded in time). Progress counts
// the cards done; the outcome names each card that failed and why.
Card_end send_to_fleet(Sender& sender, const std::vector<Live_card>& cards, const std::vector<Live_line>& lines, uint64_t mine,
                       std::vector<Live_card_result>* results) {
    const size_t n = cards.size();
    results->assign(n, Live_card_result{});
    std::atomic<size_t> next{0}, finished{0}, good{0};
    std::atomic<bool> superseded{false};
    auto work = [&] {
        for (;;) {
            const size_t i = next.fetch_add(1);
            if (i >= n) return;
            Live_card_result& r = (*results)[i];
            r.name = cards[i].name;
            r.where = cards[i].client ? CSDK_Address(cards[i].client) : cards[i].name;
            const Card_end e = send_to_card(sender, cards[i].client, lines, mine, false, &r.why);
            if (e == Card_end::superseded) superseded = true;
            r.ok = e == Card_end::done;
            if (r.ok) ++good;
            const size_t k = ++finished;
            if (k < n && !superseded)
                post(sender, "sent to " + std::to_string(good.load()) + " of " + std::to_string(n) + " cards…", false);
        }
    };
    const size_t workers = std::min<size_t>(n, live_send_parallel);
    std::vector<std::thread> pool;
    pool.reserve(workers);
    for (size_t w = 0; w < workers; ++w) pool.emplace_back(work);
    for (std::thread& t : pool) t.join();
    if (superseded) return Card_end::superseded;
    if (good == n) {
        post(sender, "sent " + std::to_string(lines.size()) + " lines to all " + std::to_string(n) + " cards", true);
        return Card_end::done;
    }
    std::string text = "card: sent to " + std::to_string(good.load()) + " of " + std::to_string(n) + " cards; failed:";
    bool first = true;
    for (const Live_card_result& r : *results) {
        if (r.ok) continue;
        text += (first ? " " : "; ") + r.name + " (" + r.why + ")";
        first = false;
    }
    post(sender, text, true, true);
    return Card_end::failed;
}

void run(Sender& sender) {
    std::unique_lock<std::mutex> g(sender.lock);
    for (;;) {
        sender.wake.wait(g, [&] { return sender.stopping || sender.job_waiting; });
        if (sender.stopping) return;
        std::vector<Live_line> lines;
        lines.swap(sender.job);
        sender.job_waiting = false;
        sender.busy = true;
        const uint64_t mine = sender.generation;
        const std::vector<Live_card> cards = sender.cards;
        g.unlock();

        std::vector<Live_card_result> results;
        Card_end end;
        if (cards.size() <= 1) {
            // One card: its progress line by line, as it has always been.
            std::string why;
            const int32_t client = cards.empty() ? 0 : cards[0].client;
            end = send_to_card(sender, client, lines, mine, true, &why);
            results.push_back(Live_card_result{cards.empty() ? "" : cards[0].name,
                                               client ? CSDK_Address(client) : "", end == Card_end::done, why});
        } else {
            end = send_to_fleet(sender, cards, lines, mine, &results);
        }
        g.lock();
        if (end != Card_end::superseded) {
            sender.last_ok = end == Card_end::done;
            sender.results = std::move(results);
        }
        sender.busy = sender.job_waiting;
        sender.wake.notify_all();
    }
}

}  // namespace

std::vector<Live_line> live_scene_lines(const Scene& scene, bool paced, const Text_files& texts) {
    Line_list list(paced);
    static const char clear[] = "led clearall \n";
    list.line(clear, sizeof clear - 1, Line_info{clear_line_tag, 0});
    write_scene_script(scene, list, texts, Line_style::live);
    return std::move(list.lines);
}

Live_sender::Live_sender() : sender_(new Sender) {}

Live_sender::~Live_sender() { stop(); }

void Live_sender::start(int32_t client) { start(std::vector<Live_card>{Live_card{"", client}}); }

void Live_sender::start(std::vector<Live_card> cards) {
    Sender& sender = *sender_;
    std::lock_guard<std::mutex> g(sender.lock);
    sender.cards = std::move(cards);
    if (sender.running) return;
    sender.running = true;
    sender.stopping = false;
    sender.thread = std::thread(run, std::ref(sender));
}

void Live_sender::submit(std::vector<Live_line> lines) {
    Sender& sender = *sender_;
    std::lock_guard<std::mutex> g(sender.lock);
    if (!sender.running) return;
    sender.job = std::move(lines);
    sender.job_waiting = true;
    sender.busy = true;
    ++sender.generation;
    sender.wake.notify_all();
}

bool Live_sender::take_status(std::string* message, bool* to_stderr, bool* failed) {
    Sender& sender = *sender_;
    std::lock_guard<std::mutex> g(sender.lock);
    if (!sender.status_new) return false;
    *message = sender.status;
    *to_stderr = sender.status_stderr;
    if (failed) *failed = sender.status_failed;
    sender.status_new = false;
    return true;
}

bool Live_sender::wait_idle(int timeout_ms) {
    Sender& sender = *sender_;
    std::unique_lock<std::mutex> g(sender.lock);
    return sender.wake.wait_for(g, std::chrono::milliseconds(timeout_ms), [&] { return !sender.busy; });
}

std::vector<Live_card_result> Live_sender::last_card_results() {
    Sender& sender = *sender_;
    std::lock_guard<std::mutex> g(sender.lock);
    return sender.results;
}

bool Live_sender::last_send_ok() {
    Sender& sender = *sender_;
    std::lock_guard<std::mutex> g(sender.lock);
    return sender.last_ok;
}

void Live_sender::stop() {
    Sender& sender = *sender_;
    {
        std::lock_guard<std::mutex> g(sender.lock);
        if (!sender.running) return;
        sender.stopping = true;
        sender.wake.notify_all();
    }
    sender.thread.join();
    std::lock_guard<std::mutex> g(sender.lock);
    sender.running = false;
    sender.stopping = false;
    sender.busy = false;
    sender.job.clear();
    sender.job_waiting = false;
    sender.status_new = false;
    sender.last_ok = false;
    sender.results.clear();
}
