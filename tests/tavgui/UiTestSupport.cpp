#include "UiTestSupport.h"

#include "TestSupport.h"
#include "tavplat/test_control.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

// ASan builds: the toolkit's own leaks are suppressed (efl-lsan.supp), here and in the programs
// the tests start.
extern "C" const char* __lsan_default_options() { return TAV_TEST_LSAN_OPTIONS; }

namespace uitest {

namespace {
std::atomic<int> g_errors{0};

void countErrors(const Eina_Log_Domain* domain, Eina_Log_Level level, const char* file, const char* function,
                 int line, const char* format, void* data, va_list args) {
    // A render that outlasts the canvas's wait on a loaded machine is no fault of ours.
    if (level <= EINA_LOG_LEVEL_ERR && !strstr(format, "timeout waiting for async rendering"))
        ++g_errors;
    eina_log_print_cb_stderr(domain, level, file, function, line, format, data, args);
}
} // namespace

void pump(double seconds) {
    const double end = ecore_time_get() + seconds;
    do {
        ecore_main_loop_iterate();
        usleep(1000);
    } while (ecore_time_get() < end);
}

bool pumpUntil(const std::function<bool()>& ready, double timeout) {
    const double end = ecore_time_get() + timeout;
    while (!ready()) {
        if (ecore_time_get() >= end)
            return false;
        ecore_main_loop_iterate();
        usleep(1000);
    }
    return true;
}

void press(Evas_Object* window, const char* key, double settle) {
    const char* text = !strcmp(key, "Return") ? "\r" : nullptr;
    evas_event_feed_key_down(evas_object_evas_get(window), key, key, text, nullptr, 0, nullptr);
    pump(settle);
    evas_event_feed_key_up(evas_object_evas_get(window), key, key, text, nullptr, 0, nullptr);
    pump(settle);
}

bool snap(Evas_Object* window, const std::string& name) {
    Ecore_Evas* ee = ecore_evas_ecore_evas_get(evas_object_evas_get(window));
    ecore_evas_manual_render(ee);
    const void* pixels = ecore_evas_buffer_pixels_get(ee);
    int w = 0, h = 0;
    ecore_evas_geometry_get(ee, nullptr, nullptr, &w, &h);
    if (!pixels || !tavplat::makeDirs(TAV_TEST_ARTIFACT_DIR))
        return false;
    Ecore_Evas* tmp = ecore_evas_buffer_new(1, 1);
    Evas_Object* image = evas_object_image_add(ecore_evas_get(tmp));
    evas_object_image_alpha_set(image, EINA_FALSE);
    evas_object_image_size_set(image, w, h);
    evas_object_image_data_set(image, const_cast<void*>(pixels));
    const std::string file = std::string(TAV_TEST_ARTIFACT_DIR) + "/" + name;
    const bool saved = evas_object_image_save(image, file.c_str(), nullptr, nullptr);
    ecore_evas_free(tmp);
    return saved;
}

int toolkitErrors() { return g_errors; }
std::string themeDir() { return TAV_TEST_THEME_DIR; }
std::string localeDir() { return TAV_TEST_LOCALE_DIR; }

} // namespace uitest

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    tavtest::TempDir root;
    setenv("TAV_DLOG_STDERR", "0", 0);
    setenv("TAV_DLOG_FILE", (root.path() + "/dlog.log").c_str(), 1);
    setenv("LSAN_OPTIONS", __lsan_default_options(), 0);
    // Headless, without the desktop's system services; the toolkit's own files in the build tree.
    for (const char* variable : {"ELM_ENGINE=buffer", "ECORE_NO_SYSTEM_MODULES=1", "EINA_LOG_BACKTRACE=0",
                                 "EINA_LOG_LEVELS=ecore_con:0", "HOME=" TAV_TEST_HOME})
        putenv(const_cast<char*>(variable));
    unsetenv("ELM_SCALE");
    tavplat::makeDirs(TAV_TEST_HOME);
    tavplat::test::useRoot(root.path() + "/platform");
    // elm_init starts the icon daemon (efreetd), which outlives the test: it must not hold the
    // test's output open, or whoever reads that output waits for the daemon.
    const int out = dup(1), err = dup(2), null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    elm_init(argc, argv);
    dup2(out, 1);
    dup2(err, 2);
    for (int fd : {out, err, null})
        close(fd);
    eina_log_print_cb_set(uitest::countErrors, nullptr);
    const int rc = RUN_ALL_TESTS();
    elm_shutdown();
    return rc;
}
