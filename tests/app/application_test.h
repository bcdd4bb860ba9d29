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

// Everything written to standard output while the action runs.
QByteArray captureStdout(const std::function<void()> &action);
