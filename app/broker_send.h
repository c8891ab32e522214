// The editor's send through a broker ([Broker] of SysCfg.ini): each live
// send's stick script is published as a fleet scene on a thread of its
// own, which then counts the signs that confirm it within [Broker] Wait;
// the window never waits for it. A newer send replaces one not yet begun.
#pragma once

#include <string>

// Hands a script to the broker thread (started on first use).
void broker_send(const std::string& script);
// What the broker thread has to say since the last call; false: nothing.
bool take_broker_status(std::string* message, bool* failed);
// Stops and joins the thread (at exit, and between tests).
void stop_broker_send();
