#include "UiTestSupport.h"

#include <unistd.h>

#include <atomic>
#include <cstring>

namespace uitest {

std::atomic<int> g_toolkitErrors{0};

void pump(double seconds) {
    const double end = ecore_time_get() + seconds;
    do {
        ecore_main_loop_iterate();
        usleep(1000);
    } while (ecore_time_get() < end);
}

namespace {
void markDeleted(void* data, Evas*, Evas_Object*, void*) { *static_cast<bool*>(data) = true; }
} // namespace

void press(Evas_Object* window, const char* key) {
    const char* text = !strcmp(key, "Return") ? "\r" : nullptr;
    bool deleted = false;
    evas_object_event_callback_add(window, EVAS_CALLBACK_DEL, markDeleted, &deleted);
    evas_event_feed_key_down(evas_object_evas_get(window), key, key, text, nullptr, 0, nullptr);
    pump(0.02);
    if (deleted)
        return;
    evas_object_event_callback_del_full(window, EVAS_CALLBACK_DEL, markDeleted, &deleted);
    evas_event_feed_key_up(evas_object_evas_get(window), key, key, text, nullptr, 0, nullptr);
    pump(0.02);
}

bool snap(Evas_Object* window, const std::string& name) {
    Ecore_Evas* ee = ecore_evas_ecore_evas_get(evas_object_evas_get(window));
    ecore_evas_manual_render(ee);
    const void* pixels = ecore_evas_buffer_pixels_get(ee);
    int w = 0, h = 0;
    ecore_evas_geometry_get(ee, nullptr, nullptr, &w, &h);
    if (!pixels || !ecore_file_mkpath(artifactDir().c_str()))
        return false;
    Ecore_Evas* tmp = ecore_evas_buffer_new(1, 1);
    Evas_Object* image = evas_object_image_add(ecore_evas_get(tmp));
    evas_object_image_alpha_set(image, EINA_FALSE);
    evas_object_image_size_set(image, w, h);
    evas_object_image_data_set(image, const_cast<void*>(pixels));
    const bool saved = evas_object_image_save(image, (artifactDir() + "/" + name).c_str(), nullptr, nullptr);
    ecore_evas_free(tmp);
    return saved;
}

int toolkitErrors() { return g_toolkitErrors; }
std::string themeDir() { return TAV_TEST_THEME_DIR; }
std::string localeDir() { return TAV_TEST_LOCALE_DIR; }
std::string artifactDir() { return TAV_TEST_ARTIFACT_DIR; }
std::string homeDir() { return TAV_TEST_HOME; }

} // namespace uitest
