#pragma once

#include <QByteArray>

#include <functional>

namespace Vantrel {
class Application;
}

// The suite's one application object, its command line left alone so the tests drive it.
extern Vantrel::Application *testApplication;

// Lets the state machine react: it handles signals through its own queued events.
void settle();

// Brings the lifecycle, from whatever state, to the starting state as a started runner would.
void enterStarting();

// Everything written to standard output while the action runs.
QByteArray captureStdout(const std::function<void()> &action);
