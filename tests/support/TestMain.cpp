// Every test program runs against its own emulated television: a fresh platform root and log
// file in a temporary folder, and no log lines on stderr.
#include "TestSupport.h"

#include "tavplat/test_control.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    tavtest::TempDir root;
    setenv("TAV_DLOG_STDERR", "0", 0);
    setenv("TAV_DLOG_FILE", (root.path() + "/dlog.log").c_str(), 1);
    tavplat::test::useRoot(root.path() + "/platform");
    return RUN_ALL_TESTS();
}
