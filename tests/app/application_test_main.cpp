#include "application.h"
#include "application_test.h"
#include "logging.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

Vantrel::Application *testApplication = nullptr;

void settle()
{
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
}

QByteArray captureStdout(const std::function<void()> &action)
{
    std::fflush(stdout);
    char path[] = "/tmp/vantrel-stdout-XXXXXX";
    const int file = mkstemp(path);
    const int saved = dup(STDOUT_FILENO);
    dup2(file, STDOUT_FILENO);
    action();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    QByteArray captured;
    lseek(file, 0, SEEK_SET);
    char buffer[4096];
    ssize_t count;
    while ((count = read(file, buffer, sizeof buffer)) > 0)
        captured.append(buffer, static_cast<int>(count));
    close(file);
    unlink(path);
    return captured;
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
