// vantiro-card: a stand-in for the controller card on the network. It runs
// the lines it receives on the card model, keeps a flash image, answers
// flash reads, and can show its screen in a window that looks like the
// sign. `vantiro-card --help` lists the options.
#include <GL/freeglut.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <CLI/CLI.hpp>

#include "card/card_sim.h"
#include "card/card_window.h"
#include "card/fleet_card.h"
#include "card/screen_feed.h"
#include "pixels/pixel_outputs.h"
#include "platform/platform.h"
#include "render/bitmap_font.h"
#include "render/led_png.h"
#include "web/live_page.h"

namespace {

volatile std::sig_atomic_t png_wanted = 0, stop_wanted = 0;

void on_usr1(int) { png_wanted = 1; }
void on_stop(int) { stop_wanted = 1; }

Card_simulator* sim = nullptr;
// The screen for readers on other threads (outputs beside the card's own
// window); published after each pass of the loop that changed it.
Screen_feed* feed = nullptr;
uint64_t published_version = 0;
size_t published_connections = 0;
std::string png_path;
Fleet_card* fleet = nullptr;   // with --mqtt: scenes from the broker
constexpr int cell = 3;   // window pixels per LED, when the X screen has room for them
int window_w = 1, window_h = 1;   // the window's size in pixels

void write_png() {
    std::string err;
    if (png_path.empty()) return;
    if (!write_led_png(sim->card.screen, png_path.c_str(), &err))
        std::fprintf(stderr, "card: %s\n", err.c_str());
}

// Hands the screen to the feed when a line may have changed it, else only
// the counts when they moved.
void publish_screen() {
    if (sim->screen_version != published_version) {
        published_version = sim->screen_version;
        published_connections = sim->connection_count();
        feed->publish(sim->card.screen, sim->card.settings.brightness, sim->lines_run,
                      static_cast<long>(published_connections), sim->last_save_ms);
    } else if (sim->connection_count() != published_connections) {
        published_connections = sim->connection_count();
        feed->update_facts(sim->lines_run, static_cast<long>(published_connections), sim->last_save_ms);
    }
}

// Signals are acted on here, in the main loop, not in the handlers.
void service() {
    if (fleet) fleet->poll(*sim);
    publish_screen();
    if (png_wanted) {
        png_wanted = 0;
        write_png();
    }
    if (stop_wanted) {
        write_png();
        if (fleet) fleet->stop();
        feed->stop();
        std::exit(0);
    }
}

void display() {
    const Led_framebuffer& s = sim->card.screen;
    glClear(GL_COLOR_BUFFER_BIT);
    static const float rgb[3][3] = {{1, 0.1f, 0.1f}, {0.1f, 1, 0.25f}, {1, 0.88f, 0.1f}};
    auto colour = [&](uint8_t c) {
        if (c <= 2)
            glColor3fv(rgb[c]);
        else
            glColor3f(0.16f, 0.16f, 0.16f);
    };
    // A dot an LED, a pixel apart, while the window has room for it; a
    // screen of more LEDs than the window has pixels shows, at each window
    // pixel, the LED that lies under it.
    const double p = card_pixels_per_led(s.width(), s.height(), window_w, window_h);
    if (p >= 1) {
        glPointSize(static_cast<float>(p >= 3 ? p - 1 : 1));
        glBegin(GL_POINTS);
        for (int y = 0; y < s.height(); ++y)
            for (int x = 0; x < s.width(); ++x) {
                colour(s.at(x, y));
                glVertex2f(static_cast<float>((x + 0.5) * p), static_cast<float>((y + 0.5) * p));
            }
    } else {
        glPointSize(1);
        glBegin(GL_POINTS);
        const int w = std::min(window_w, static_cast<int>(s.width() * p)), h = std::min(window_h, static_cast<int>(s.height() * p));
        for (int wy = 0; wy < h; ++wy)
            for (int wx = 0; wx < w; ++wx) {
                colour(s.at(std::min(static_cast<int>(wx / p), s.width() - 1), std::min(static_cast<int>(wy / p), s.height() - 1)));
                glVertex2f(static_cast<float>(wx) + 0.5f, static_cast<float>(wy) + 0.5f);
            }
    }
    glEnd();
    glutSwapBuffers();
    sim->changed = false;
}

void idle() {
    sim->poll_once(10);
    service();
    if (sim->changed) glutPostRedisplay();
}

void reshape(int w, int h) {
    window_w = w, window_h = h;
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, w, h, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"vantiro-card: a controller card simulated on the network.\n"
                 "Bounds: at most --max-clients clients at once; when all places are taken, a new client\n"
                 "takes the place of the one idle longest if that one sent no frame for 5 s, is in the middle\n"
                 "of none and is owed no answer, else the new one is refused. The listen queue holds\n"
                 "max(--max-clients, 128) connects. A client that sends no whole frame for --idle-seconds\n"
                 "is closed (bytes that make no frame do not count), and so is one that begins a frame and\n"
                 "does not end it within 10 s. A client with 1 MiB of answers unread is throttled (its\n"
                 "requests are not read until it reads), not dropped. 1 MiB of lines is kept for the next\n"
                 "\"file save\", whose flash file is written off the network loop, once for a burst and only\n"
                 "when it changed. Memory stays within the screen (width x height bytes) plus about 2 MiB a\n"
                 "client. --window is no larger than the X screen."};
    int port = 1002, width = 256, height = 128, delay = 0, max_clients = 32, idle_seconds = 60;
    long close_after = -1;
    bool window = false, silent = false;
    std::string listen = "127.0.0.1", flash, log, usb;
    app.add_option("--port", port, "TCP port to listen on (0: any free port, printed)")->check(CLI::Range(0, 65535));
    app.add_option("--listen", listen, "Address to listen on");
    app.add_option("--width", width, "Screen width in LEDs")->check(CLI::Range(1, 16384));
    app.add_option("--height", height, "Screen height in LEDs")->check(CLI::Range(1, 16384));
    app.add_option("--flash", flash, "Flash image file (default: card-flash.bin beside this program, or in $XDG_DATA_HOME/vantiro installed)");
    app.add_flag("--window", window, "Show the screen in a window");
    app.add_option("--log", log, "Log each line with its time and tag to this file");
    app.add_option("--usb", usb, "Run this ledsys tree's CMD/cmd.txt at start");
    app.add_option("--png", png_path, "Write the screen as PNG on SIGUSR1 and at the end");
    app.add_option("--close-after", close_after, "Fault: drop a connection after this many lines");
    app.add_flag("--silent", silent, "Fault: never answer a request");
    app.add_option("--delay", delay, "Fault: answer requests this many milliseconds late")->check(CLI::Range(0, 600000));
    app.add_option("--max-clients", max_clients, "Clients served at once")->check(CLI::Range(1, 1000));
    app.add_option("--idle-seconds", idle_seconds, "Close a client that sends no whole frame this long (0: never)")
        ->check(CLI::Range(0, 86400));
    std::string mqtt, sign, group, mqtt_user, mqtt_password_file, mqtt_cafile;
    app.add_option("--mqtt", mqtt, "Broker HOST[:PORT] to take scenes from (needs --sign)");
    app.add_option("--sign", sign, "This sign's name in the fleet");
    app.add_option("--group", group, "The sign's group in the fleet");
    app.add_option("--mqtt-user", mqtt_user, "User name at the broker");
    app.add_option("--mqtt-password-file", mqtt_password_file, "File holding the password at the broker");
    app.add_option("--mqtt-cafile", mqtt_cafile, "TLS: the broker's CA certificate");
    // Pixel outputs: the screen pushed to pixel controllers (DDP, E1.31,
    // PPM over UDP) by a thread of their own that reads the screen feed.
    // A static: its end (at exit) sends E1.31's stream-terminated packets.
    static Pixel_outputs pixels;
    pixels.add_options(app);
    std::string http;
    int http_viewers = 16;
    app.add_option("--http", http,
                   "Serve a live page of the screen on ADDR:PORT (ADDR 127.0.0.1 when left out, port 0: any "
                   "free port; the page's address is printed)");
    app.add_option("--http-viewers", http_viewers,
                   "Live pages shown at once (one more is refused); each costs at most 3 x the screen "
                   "plus 256 KiB")
        ->check(CLI::Range(1, 256));
    app.set_version_flag("--version", "vantiro-card " VANTIRO_VERSION);
    CLI11_PARSE(app, argc, argv);

    std::string err;
    char exe[4096];
    if (!platform_executable_path(exe, sizeof exe, &err)) {
        std::fprintf(stderr, "card: %s\n", err.c_str());
        return 1;
    }
    // The card's font files are the editor's, shipped with it (beside this
    // program in a build tree, in <prefix>/share/vantiro installed). The
    // default flash image lies beside the program in a build tree and in the
    // user's data folder ($XDG_DATA_HOME/vantiro, made when missing) installed.
    std::string folder = exe;
    folder = folder.substr(0, folder.rfind('/') + 1);
    Program_folders folders;
    if (!platform_choose_folders(folder.c_str(), nullptr, "vantiro", "Font/fonts/font_libs",
                                 platform_folder_environment(), &folders, &err)) {
        std::fprintf(stderr, "card: %s\n", err.c_str());
        return 1;
    }
    static Bitmap_fonts fonts;   // the card's, read at their first use on its threads
    set_bitmap_fonts_below(fonts, (folders.share + "Font/fonts/font_libs").c_str());
    if (flash.empty()) {
        if (folders.installed && !platform_make_private_folders(folders.data.c_str(), &err)) {
            std::fprintf(stderr, "card: path: %s\n", err.c_str());
            return 1;
        }
        flash = folders.data + "card-flash.bin";
    }
    FILE* log_file = nullptr;
    if (!log.empty() && !(log_file = platform_open_log(log.c_str(), &err))) {
        std::fprintf(stderr, "card: %s\n", err.c_str());
        return 1;
    }
    static Card_simulator card(fonts, width, height, flash, Card_faults{close_after, silent, delay}, stderr);
    sim = &card;
    static Screen_feed screen_feed;
    feed = &screen_feed;
    if (!pixels.configure(argc, argv, width, height, &err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return 1;
    }
    if (pixels.map_help_wanted()) {
        std::printf("%s", pixels.map_help().c_str());
        return 0;
    }
    if (!pixels.start(screen_feed, flash, stderr, &err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return 1;
    }
    // At exit the sender ends (and E1.31 says so) before the feed it
    // reads goes: registered after the feed was made, this runs first.
    std::atexit([] { pixels.stop(); });
    card.max_connections = static_cast<size_t>(max_clients);
    card.idle_close_ms = 1000L * idle_seconds;
    card.set_log(log_file);
    if (!usb.empty() && !card.run_usb(usb, &err)) std::fprintf(stderr, "%s\n", err.c_str());
    if (!card.listen_on(listen.c_str(), port, &err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return 1;
    }
    // Before the line that tells a waiting script the card is up: a signal
    // sent right after it finds its handler.
    struct sigaction sa{};
    sa.sa_handler = on_usr1;
    sigaction(SIGUSR1, &sa, nullptr);
    sa.sa_handler = on_stop;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    static Fleet_card fleet_card;
    if (!mqtt.empty()) {
        Broker_options b;
        if (sign.empty() || !parse_broker(mqtt, &b, &err) ||
            !read_broker_secret(mqtt_password_file, &b.password, &err)) {
            std::fprintf(stderr, "card: %s\n", sign.empty() ? "--mqtt needs --sign" : err.c_str());
            return 1;
        }
        b.username = mqtt_user;
        b.cafile = mqtt_cafile;
        if (!fleet_card.start(card, b, sign, group, flash + ".scene", &err)) {
            std::fprintf(stderr, "card: %s\n", err.c_str());
            return 1;
        }
        fleet = &fleet_card;
    }
    // The live page: it shows what the loop publishes to the feed.
    static Live_page page;
    if (!http.empty()) {
        Live_page_options o;
        o.max_viewers = http_viewers;
        if (!parse_http_address(http, &o.address, &o.port, &err) || !page.start(o, feed, &err)) {
            std::fprintf(stderr, "%s\n", err.c_str());
            return 1;
        }
        const bool v6 = o.address.find(':') != std::string::npos;
        std::printf("http://%s%s%s:%d/\n", v6 ? "[" : "", o.address.c_str(), v6 ? "]" : "", page.port());
    }
    std::printf("card: listening on %s:%d, screen %d x %d\n", listen.c_str(), card.port(), width, height);
    std::fflush(stdout);

    if (window) {
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGBA);
        // No larger than the X screen: a screen of many LEDs shows smaller.
        const Card_window size = card_window_for(width, height, cell, glutGet(GLUT_SCREEN_WIDTH), glutGet(GLUT_SCREEN_HEIGHT));
        window_w = size.width, window_h = size.height;
        glutInitWindowSize(size.width, size.height);
        glutInitWindowPosition(1290, 50);   // beside the editor's window
        glutCreateWindow("vantiro-card");
        glClearColor(0, 0, 0, 1);
        glutDisplayFunc(display);
        glutReshapeFunc(reshape);
        glutIdleFunc(idle);
        glutMainLoop();
        return 0;
    }
    for (;;) {
        card.poll_once(50);
        service();
    }
}
