// Leaks on purpose, to check the leak suppressions of the toolkit: scripts/valgrind-survey.sh
// runs it under valgrind with tests/valgrind.supp, and tests/tavgui/lsan-canary.sh under
// LeakSanitizer with efl-lsan.supp. Each leak below is memory this program owns and never frees,
// made through the toolkit the way our code could make it. Both checks require every one of them
// to be reported and nothing else: a suppression broad enough to hide our own leaks behind the
// toolkit's frames fails them, and so does toolkit noise that the file does not suppress (the
// program also builds, shows and deletes a window with the survey's kinds of widgets).
#include <Elementary.h>

#include <cstdio>
#include <cstring>

namespace {

// Each leak has a frame of its own, so that the check finds it by name.
__attribute__((noinline)) void leakToolkitString() {
    char* markup = elm_entry_utf8_to_markup("a & b");
    std::puts(markup);
}

__attribute__((noinline)) void leakCanvasString() {
    char* text = evas_textblock_text_markup_to_utf8(nullptr, "a&amp;b");
    std::puts(text);
}

__attribute__((noinline)) void leakStringBuffer() {
    Eina_Strbuf* buffer = eina_strbuf_new();
    eina_strbuf_append(buffer, "never freed");
    std::puts(eina_strbuf_string_get(buffer));
}

__attribute__((noinline)) void leakPlainCopy() {
    char* copy = strdup("never freed");
    std::puts(copy);
}

// Our own allocation, made while the toolkit's main loop calls us back: the stack below it is
// all toolkit (loop, timers, object events).
__attribute__((noinline)) Eina_Bool leakInCallback(void*) {
    char* copy = strdup("never freed either");
    std::puts(copy);
    return ECORE_CALLBACK_CANCEL;
}

Eina_Bool closeWindow(void* data) {
    evas_object_del(static_cast<Evas_Object*>(data));
    elm_exit();
    return ECORE_CALLBACK_CANCEL;
}

} // namespace

int main(int argc, char** argv) {
    elm_init(argc, argv);
    Evas_Object* window = elm_win_add(nullptr, "leak-canary", ELM_WIN_DIALOG_BASIC);
    Evas_Object* popup = elm_popup_add(window);
    Evas_Object* scroller = elm_scroller_add(popup);
    elm_object_content_set(popup, scroller);
    Evas_Object* box = elm_box_add(scroller);
    elm_object_content_set(scroller, box);
    Evas_Object* label = elm_label_add(box);
    elm_object_text_set(label, "question");
    elm_box_pack_end(box, label);
    evas_object_show(label);
    Evas_Object* radio = elm_radio_add(box);
    elm_object_text_set(radio, "answer");
    elm_box_pack_end(box, radio);
    evas_object_show(radio);
    Evas_Object* button = elm_button_add(popup);
    elm_object_text_set(button, "Submit");
    Evas_Object* icon = elm_icon_add(button);
    elm_icon_standard_set(icon, "close");
    elm_object_part_content_set(button, "icon", icon);
    elm_object_part_content_set(popup, "button1", button);
    evas_object_show(popup);
    evas_object_resize(window, 640, 480);
    evas_object_show(window);

    leakToolkitString();
    leakCanvasString();
    leakStringBuffer();
    leakPlainCopy();
    ecore_timer_add(0.1, leakInCallback, nullptr);

    ecore_timer_add(0.5, closeWindow, window);
    elm_run();
    elm_shutdown();
    return 0;
}
