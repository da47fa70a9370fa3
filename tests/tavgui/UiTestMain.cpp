// main() of the toolkit tests: a fresh emulated television in a temporary folder (as for every
// test program), a headless Elementary initialised once, the toolkit's error lines counted.
#include "TestSupport.h"
#include "UiTestSupport.h"

#include "tavplat/test_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace uitest {
extern std::atomic<int> g_toolkitErrors;
}

static void countErrors(const Eina_Log_Domain* domain, Eina_Log_Level level, const char* file, const char* function,
                        int line, const char* format, void* data, va_list args) {
    if (level <= EINA_LOG_LEVEL_ERR)
        ++uitest::g_toolkitErrors;
    eina_log_print_cb_stderr(domain, level, file, function, line, format, data, args);
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    tavtest::TempDir root;
    setenv("TAV_DLOG_STDERR", "0", 0);
    setenv("TAV_DLOG_FILE", (root.path() + "/dlog.log").c_str(), 1);
    // Headless, without the desktop's system services; the toolkit's own files (and those of the
    // icon daemon it starts, which outlives the test) in a folder of the build tree.
    setenv("ELM_ENGINE", "buffer", 1);
    setenv("ECORE_NO_SYSTEM_MODULES", "1", 1);
    setenv("EINA_LOG_BACKTRACE", "0", 1);
    setenv("EINA_LOG_LEVELS", "ecore_con:0", 1);
    tavplat::makeDirs(uitest::homeDir());
    setenv("HOME", uitest::homeDir().c_str(), 1);
    unsetenv("ELM_SCALE");
    tavplat::test::useRoot(root.path() + "/platform");
    // elm_init starts the icon daemon (efreetd), which outlives the test; it must not hold the
    // test's output open, or whoever reads that output waits for the daemon.
    const int out = dup(1), err = dup(2), null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    elm_init(argc, argv);
    dup2(out, 1);
    dup2(err, 2);
    for (int fd : {out, err, null})
        close(fd);
    eina_log_print_cb_set(countErrors, nullptr);
    const int rc = RUN_ALL_TESTS();
    elm_shutdown();
    return rc;
}
