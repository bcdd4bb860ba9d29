#include "app/application.h"
#include "app/logging.h"
#include "app/standardoutput.h"
#include "tests/app/application_test.h"
#include "tests/support/outputcapture.h"

#include <gtest/gtest.h>

#include <cstdio>

Vantrel::Application *testApplication = nullptr;

void settle()
{
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
}

void enterStarting()
{
    settle();
    Q_EMIT testApplication->stopped();
    settle();
    Q_EMIT testApplication->starting();
    settle();
}

QByteArray captureStdout(const std::function<void()> &action)
{
    Vantrel::Test::OutputCapture capture(stdout);
    action();
    // Lines are written by the output's own thread: wait for them before the stream is restored.
    Vantrel::StandardOutput::instance().flush();
    return QByteArray::fromStdString(capture.finish());
}

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qInstallMessageHandler(Vantrel::messageHandler);
    testApplication = new Vantrel::Application(argc, argv, false);
    const int result = RUN_ALL_TESTS();
    delete testApplication;
    return result;
}
