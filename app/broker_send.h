// The editor's send through a broker ([Broker] of SysCfg.ini): each live
// send's stick script is published as a fleet scene on a thread of its
// own, which then counts the signs that confirm it within [Broker] Wait;
// the window never waits for it. A newer send replaces one not yet begun.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "app/config.h"

// The broker's thread and what it is handed and has to say. Part of the
// card link (app/outputs.h) that main owns; its thread starts on the first
// send and is joined by stop_broker_send (and at the latest when the value
// goes).
struct Broker_sender {
    Broker_sender() = default;
    Broker_sender(const Broker_sender&) = delete;
    Broker_sender& operator=(const Broker_sender&) = delete;
    ~Broker_sender();

    std::mutex lock;
    std::condition_variable wake;
    std::thread thread;
    bool running = false, stopping = false, waiting = false;
    Config_broker broker = {};   // the [Broker] section the waiting script goes by
    std::string script;
    std::string status;
    bool status_new = false, status_failed = false;
};

// Hands a script to the broker thread (started on first use), to go by broker.
void broker_send(Broker_sender& sender, const Config_broker& broker, const std::string& script);
// What the broker thread has to say since the last call; false: nothing.
bool take_broker_status(Broker_sender& sender, std::string* message, bool* failed);
// Stops and joins the thread (at exit, and between tests).
void stop_broker_send(Broker_sender& sender);
