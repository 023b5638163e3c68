#include "TApplication.h"

#include <gtest/gtest.h>

// The tests run inside the real application object, so errors escaping event
// handlers take the same road as in the program.
int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
