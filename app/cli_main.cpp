// vantiro-cli: the editor's scene from the command line, for operators'
// scripts and for tests. `vantiro-cli --help` lists the subcommands:
//   dump [DIR]              the start-up scene of DIR (by default the
//                           editor's: see app/startup.h) as one JSON object
//   replay IMAGE [DIR]      the scene after replaying the script stored in
//                           the flash image IMAGE (only read)
//   export OUT [DIR]        the ledsys tree for DIR's scene under OUT, the
//                           bytes the toolbar writes onto a stick
//   play SCRIPT ...         a command script run on the card model, as PNG
//   render [DIR] --png F    the scene as the card would show it, as PNG
//   publish --broker B --to WHO [DIR]   the scene's stick script to signs
//                           through a broker (WHO: NAME, group:G or all)
//   fleet --broker B        every sign: online or not, last scene current
//   send [DIR] [--to WHO]   the scene to the cards once, as the live send does:
//                           all (RemotIP and [Cards]), a card's name, or ip[:port]
// play and render write the same PNG bytes for the same lit LEDs.
#include <cstdio>
#include <cstring>
#include <chrono>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/outputs.h"
#include "app/scene_json.h"
#include "app/startup.h"
#include "app/config.h"
#include "card/card_model.h"
#include "controller/font_check.h"
#include "controller/live_send.h"
#include "csdk/csdk.h"
#include "fleet/fleet.h"
#include "command/replay.h"
#include "platform/platform.h"
#include "render/led_png.h"
#include "scene/pools.h"

namespace {

// What vantiro-cli's main owns beside the scene: the configuration, the
// program's paths and the text files that start-up reads, and the status
// line start-up and the replay tell the operator on (here only the lines
// they write to standard error are seen).
struct Cli_state {
    Config config;
    Program_paths paths;
    Text_files texts;
    Status_line status;
    Bitmap_fonts fonts;   // the card's fonts, read at their first use
};

// Builds the start-up scene from the files in dir, or, without dir, in
// this program's folders: beside it in a build tree, the user's folders
// (as the editor's) in an installation.
bool start_scene(Cli_state& st, Scene& scene, const char* dir, std::string* err) {
    char exe[4096];
    if (dir && !platform_is_folder(dir)) {
        *err = std::string("cli: ") + dir + ": not a folder";
        return false;
    }
    if (!platform_executable_path(exe, sizeof exe, err)) return false;
    if (!startup_paths_and_config(exe, &st.paths, &st.config, st.fonts, st.status, err, dir)) return false;
    // Every command here only reads the scene folder: it is left as found.
    startup_scene(scene, st.config, st.paths, st.texts, st.status, nullptr, nullptr, Folder_use::reader);
    return true;
}

}  // namespace

int print_scene(const Scene& scene) {
    std::string json = scene_json(scene);
    std::fwrite(json.data(), 1, json.size(), stdout);
    std::fputc('\n', stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return 1;
}

int replay_command(Cli_state& st, Scene& scene, const std::string& image_path, const char* dir) {
    std::string err;
    // Diagnostics on standard error, the scene alone on standard output.
    set_diag_stream(stderr);
    if (!start_scene(st, scene, dir, &err)) return fail(err);
    std::vector<uint8_t> image;
    if (!platform_read_file(image_path.c_str(), max_flash_image_bytes, &image, &err))
        return fail("cli: " + err);
    switch (replay_image(scene, st.status, image.data(), image.size())) {
        case Header_status::ok: break;
        case Header_status::short_image:
            std::fprintf(stderr, "cli: %s ends before the command header at 0x%x; nothing is replayed\n",
                         image_path.c_str(), command_header_address);
            break;
        case Header_status::uninitialised:
            std::fprintf(stderr, "cli: %s has no valid header; nothing is replayed\n", image_path.c_str());
            break;
    }
    return print_scene(scene);
}

int export_command(Cli_state& st, Scene& scene, const std::string& out, const char* dir) {
    std::string err;
    if (!start_scene(st, scene, dir, &err)) return fail(err);
    const Export_outcome o = export_to_folder(scene, out, st.paths.scene_folder, std::time(nullptr));
    std::fprintf(o.written ? stdout : stderr, "%s\n", o.message.c_str());
    // What the card will not show, as the toolbar's export says it: a text
    // whose my_txt3/4.txt is missing (left out), glyphs the fonts lack.
    refresh_text_files(st.texts, st.paths);
    const std::string notes = check_scene_for_card(st.fonts, scene, st.texts);
    if (o.written && !notes.empty()) std::fprintf(stderr, "export: %s\n", notes.c_str());
    return o.written ? 0 : 1;
}

int play_command(Cli_state& st, const std::string& script, int width, int height, const std::string& png,
                 const std::string& txt) {
    std::vector<uint8_t> bytes;
    std::string err;
    // The card's font files are the ones shipped with this program.
    char exe[4096];
    if (!platform_executable_path(exe, sizeof exe, &err) || !startup_paths_and_config(exe, &st.paths, &st.config, st.fonts, st.status, &err))
        return fail(err);
    if (!led_png_size_ok(width, height, &err)) return fail("cli: " + err);   // before the screen is made
    if (!platform_read_file(script.c_str(), 256u << 20, &bytes, &err)) return fail("cli: " + err);
    Card_model card(st.fonts, width, height);
    card.set_txt_folder(txt);
    card.run_script(bytes.data(), bytes.size());
    if (!write_led_png(card.screen, png.c_str(), &err)) return fail(err);
    std::printf("%ld lines run, %ld lines ignored, %ld LEDs lit\n", card.counts.run, card.counts.ignored,
                card.screen.lit_count());
    return 0;
}

int render_command(Cli_state& st, Scene& scene, const char* dir, const std::string& png) {
    std::string err;
    if (!start_scene(st, scene, dir, &err)) return fail(err);
    int w, h;
    output_screen_size(scene, &w, &h);
    if (w <= 0 || h <= 0) return fail("cli: the boards in use have no LEDs");
    if (!led_png_size_ok(w, h, &err)) return fail("cli: " + err);
    Led_framebuffer screen(w, h);
    render_scene_leds(st.fonts, scene, st.texts, screen);
    if (!write_led_png(screen, png.c_str(), &err)) return fail(err);
    std::printf("%ld LEDs lit on a %d x %d screen\n", screen.lit_count(), w, h);
    return 0;
}

int send_command(Cli_state& st, Live_sender& sender, Scene& scene, const char* dir, const std::string& to) {
    std::string err;
    if (!start_scene(st, scene, dir, &err)) return fail(err);
    InitSdk(1, 2);
    // Without --to: RemotIP and every [Cards] line (RemotIP alone when
    // there is no [Cards]).
    std::vector<std::string> bad;
    std::vector<Live_card> cards = make_live_cards(st.config, 0, to, &bad);
    if (cards.empty() && bad.size() == 1 && (to.empty() || to == "all" || to == "RemotIP"))
        return fail("cli: " + std::string(st.config.remote_ip) + " is not an address");
    if (cards.empty() && !to.empty() && to != "all" && bad.size() == 1 && bad[0].rfind(to + " " + to, 0) == 0)
        return fail("cli: " + to + " is not an address");
    for (const std::string& b : bad) std::printf("%s: failed: not sent\n", b.c_str());
    if (cards.empty()) return 1;
    if (digit_modules_on_sign(scene) > 0)
        std::fprintf(stderr, "cli: digit modules are not sent live; they go to the card by the USB stick (export)\n");
    std::vector<Live_line> lines = live_scene_lines(scene, st.config.live_pacing != 0, st.texts);
    const size_t fleet = cards.size();
    sender.start(std::move(cards));
    sender.submit(std::move(lines));
    // Progress as it comes; the sender is done within the waits and one
    // time-out a line at most (a card each, up to 16 cards at once).
    std::string message;
    bool to_stderr;
    while (!sender.wait_idle(100))
        if (sender.take_status(&message, &to_stderr)) std::printf("%s\n", message.c_str()), std::fflush(stdout);
    while (sender.take_status(&message, &to_stderr)) std::printf("%s\n", message.c_str());
    const bool ok = sender.last_send_ok() && bad.empty();
    if (fleet > 1)
        // One line a card: its name, its address, and how its send ended.
        for (const Live_card_result& r : sender.last_card_results())
            std::printf("%s %s: %s\n", r.name.c_str(), r.where.c_str(), r.ok ? "sent" : ("failed: " + r.why).c_str());
    std::fflush(stdout);
    sender.stop();
    return ok ? 0 : 1;
}

namespace {

class Script_text final : public Script_out {
public:
    void line(const char* bytes, size_t n, const Line_info&) override { text.append(bytes, n); }
    std::string text;
};

bool broker_options(const std::string& broker, const std::string& user, const std::string& password_file,
                    const std::string& cafile, Broker_options* b, std::string* err) {
    if (!parse_broker(broker, b, err) || !read_broker_secret(password_file, &b->password, err)) return false;
    b->username = user;
    b->cafile = cafile;
    return true;
}

// The topic a scene goes to: NAME, group:G or all.
bool scene_topic(const std::string& to, std::string* topic, std::string* err) {
    const bool group = to.rfind("group:", 0) == 0;
    const std::string name = group ? to.substr(6) : to;
    if (name.empty() || name.find_first_of("/+#") != std::string::npos) {
        *err = "cli: --to " + to + ": a sign's name, group:G or all, without / + #";
        return false;
    }
    *topic = to == "all" ? "vantiro/all/scene" : group ? "vantiro/group/" + name + "/scene" : "vantiro/sign/" + name + "/scene";
    return true;
}

}  // namespace

// Publishes DIR's scene (or a script file) as a fleet scene, sequence: the
// time in milliseconds, so a later publish is newer.
int publish_command(Cli_state& st, Scene& scene, const char* dir, const std::string& script_file, const Broker_options& b,
                    const std::string& to, int timeout_ms) {
    std::string err, topic;
    if (!scene_topic(to, &topic, &err)) return fail(err);
    Fleet_scene s;
    if (!script_file.empty()) {
        std::vector<uint8_t> bytes;
        if (!platform_read_file(script_file.c_str(), 64u << 20, &bytes, &err)) return fail("cli: " + err);
        s.script.assign(bytes.begin(), bytes.end());
    } else {
        if (!start_scene(st, scene, dir, &err)) return fail(err);
        Script_text text;
        write_scene_script(scene, text, st.texts, Line_style::script);
        s.script = std::move(text.text);
    }
    s.seq = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
    if (!fleet_publish(b, topic, encode_fleet_scene(s), timeout_ms, &err)) return fail(err);
    std::printf("published scene %llu (%s) to %s\n", static_cast<unsigned long long>(s.seq),
                fleet_scene_hash(s.script).c_str(), topic.c_str());
    return 0;
}

// Lists every sign whose state the broker keeps: online or offline, and
// whether the scene it last ran is the newest published to it (to it, to
// its group or to all).
int fleet_command(const Broker_options& b, int wait_ms) {
    std::vector<Fleet_message> all;
    std::string err;
    if (!fleet_read_retained(b, wait_ms, &all, &err)) return fail(err);
    std::map<std::string, Fleet_scene> scenes;   // by topic
    std::map<std::string, std::string> states;   // by sign
    for (const Fleet_message& m : all) {
        Fleet_scene s;
        std::string why;
        const std::string state_tail = "/state";
        if (m.topic.size() > 13 + state_tail.size() && m.topic.rfind("vantiro/sign/", 0) == 0 &&
            m.topic.compare(m.topic.size() - state_tail.size(), state_tail.size(), state_tail) == 0)
            states[m.topic.substr(13, m.topic.size() - 13 - state_tail.size())] = m.payload;
        else if (decode_fleet_scene(m.payload.data(), m.payload.size(), &s, &why))
            scenes[m.topic] = s;
    }
    auto field = [](const std::string& state, const std::string& key) {
        const size_t at = ("\n" + state).find("\n" + key + " ");
        if (at == std::string::npos) return std::string("-");
        const size_t from = at + key.size() + 1;
        return state.substr(from, state.find('\n', from) - from);
    };
    int current = 0;
    for (const auto& [name, state] : states) {
        const bool online = state.rfind("online", 0) == 0;
        const std::string group = field(state, "group");
        const Fleet_scene* newest = nullptr;
        for (const std::string& t : {"vantiro/sign/" + name + "/scene", std::string("vantiro/all/scene"),
                                     "vantiro/group/" + group + "/scene"}) {
            auto it = scenes.find(t);
            if (it != scenes.end() && (!newest || it->second.seq > newest->seq)) newest = &it->second;
        }
        std::string verdict = "no scene published";
        if (newest) {
            const bool same = field(state, "hash") == fleet_scene_hash(newest->script) &&
                              field(state, "seq") == std::to_string(newest->seq);
            verdict = same ? "current" : "stale";
            current += same;
        }
        std::printf("%s %s seq %s %s%s\n", name.c_str(), online ? "online" : "offline", field(state, "seq").c_str(),
                    verdict.c_str(),
                    field(state, "problem") == "-" ? "" : (" (" + field(state, "problem") + ")").c_str());
    }
    std::printf("%zu signs, %d current\n", states.size(), current);
    return 0;
}

int main(int argc, char** argv) {
    CLI::App app{"vantiro-cli: the LED sign editor's scene from the command line"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "vantiro-cli " VANTIRO_VERSION);
    app.footer("Without DIR the folder is this program's own in a build tree; an installed program uses the\n"
               "editor's: SysCfg.ini in $XDG_CONFIG_HOME/vantiro (~/.config/vantiro), the scene files in\n"
               "$XDG_DATA_HOME/vantiro (~/.local/share/vantiro).");
    std::string dir, image, out, script, png, txt;
    int width = 0, height = 0;
    auto folder = [](const std::string& d) { return d.empty() ? nullptr : d.c_str(); };

    CLI::App* dump = app.add_subcommand("dump", "Print the start-up scene of DIR as JSON");
    dump->add_option("DIR", dir, "Folder of the scene files and SysCfg.ini");

    CLI::App* replay = app.add_subcommand("replay", "Print the scene after replaying a flash image's script");
    replay->add_option("IMAGE", image, "Flash image (file offset = flash address)")->required();
    replay->add_option("DIR", dir, "Folder of the scene files");

    CLI::App* exp = app.add_subcommand("export", "Write the ledsys tree for DIR's scene under OUT");
    exp->add_option("OUT", out, "Folder that stands for the stick's root")->required();
    exp->add_option("DIR", dir, "Folder of the scene files");

    CLI::App* play = app.add_subcommand("play", "Run a command script on the card model and write the sign as PNG");
    play->add_option("SCRIPT", script, "Command script, such as ledsys/CMD/cmd.txt")->required();
    play->add_option("--width", width, "Screen width in LEDs")->required()->check(CLI::Range(1, 16384));
    play->add_option("--height", height, "Screen height in LEDs")->required()->check(CLI::Range(1, 16384));
    play->add_option("--png", png, "Picture to write")->required();
    play->add_option("--txt", txt, "Folder of my_txtN.txt for \"led txt\" lines");

    CLI::App* render = app.add_subcommand("render", "Write the scene as the card would show it, as PNG");
    render->add_option("DIR", dir, "Folder of the scene files");
    render->add_option("--png", png, "Picture to write")->required();

    std::string to;
    CLI::App* send = app.add_subcommand("send", "Send DIR's scene to the card once, as the editor does live");
    send->add_option("DIR", dir, "Folder of the scene files and SysCfg.ini");
    send->add_option("--to", to, "The cards: all (default: RemotIP of SysCfg.ini and its [Cards]), RemotIP, a [Cards] name, or ip[:port]");

    std::string broker, user, password_file, cafile, script_file;
    int timeout_ms = 5000;
    CLI::App* publish = app.add_subcommand("publish", "Publish DIR's scene to signs through an MQTT broker");
    publish->add_option("DIR", dir, "Folder of the scene files");
    publish->add_option("--broker", broker, "The broker, HOST[:PORT]")->required();
    publish->add_option("--to", to, "A sign's name, group:G, or all")->required();
    publish->add_option("--script", script_file, "Publish this command script instead of DIR's scene");
    CLI::App* fleet = app.add_subcommand("fleet", "List the signs a broker knows, and whether each shows its scene");
    fleet->add_option("--broker", broker, "The broker, HOST[:PORT]")->required();
    for (CLI::App* c : {publish, fleet}) {
        c->add_option("--user", user, "User name at the broker");
        c->add_option("--password-file", password_file, "File holding the password (never printed)");
        c->add_option("--cafile", cafile, "TLS: the broker's CA certificate");
        c->add_option("--timeout", timeout_ms, "Milliseconds to wait for the broker")->check(CLI::Range(100, 600000));
    }

    CLI11_PARSE(app, argc, argv);
    static Scene scene;   // about 800 KB: static storage, not the stack
    static Cli_state st;  // the configuration, paths and text files start-up reads
    if (*publish || *fleet) {
        Broker_options b;
        std::string err;
        if (!broker_options(broker, user, password_file, cafile, &b, &err)) return fail(err);
        if (*fleet) return fleet_command(b, timeout_ms);
        return publish_command(st, scene, folder(dir), script_file, b, to, timeout_ms);
    }
    if (*send) {
        Live_sender sender;   // the send's thread, stopped before the program ends
        return send_command(st, sender, scene, folder(dir), to);
    }
    if (*replay) return replay_command(st, scene, image, folder(dir));
    if (*exp) return export_command(st, scene, out, folder(dir));
    if (*play) return play_command(st, script, width, height, png, txt);
    if (*render) return render_command(st, scene, folder(dir), png);
    std::string err;
    if (!start_scene(st, scene, folder(dir), &err)) return fail(err);
    return print_scene(scene);
}
