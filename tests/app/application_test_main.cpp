// One application object for the whole suite, its command line left alone so the tests drive it.
#include "application.h"
#include "application_test.h"
#include "logging.h"

#include <gtest/gtest.h>

Vantrel::Application *testApplication = nullptr;

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qInstallMessageHandler(Vantrel::messageHandler);
    testApplication = new Vantrel::Application(argc, argv, false);
    const int result = RUN_ALL_TESTS();
    delete testApplication;
    return result;
}
