// GoogleTest entry for the runner tests, inside the application object the runner talks to.
#include "testapplication.h"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    Vantrel::Fixtures::TestApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
