/* The start-up baseline of the survey: the least an Elementary program does to put text on
 * the screen in the same kind of window the survey opens (a see-through, borderless dialog
 * over the whole screen, at the television's toolkit scale), with one label in it. */
#include <Elementary.h>

EAPI_MAIN int elm_main(int argc, char** argv) {
    (void)argc;
    (void)argv;
    elm_config_scale_set(2.0);
    elm_policy_set(ELM_POLICY_QUIT, ELM_POLICY_QUIT_LAST_WINDOW_CLOSED);

    Evas_Object* win = elm_win_add(NULL, "bare", ELM_WIN_DIALOG_BASIC);
    elm_win_autodel_set(win, EINA_TRUE);
    elm_win_alpha_set(win, EINA_TRUE);
    elm_win_borderless_set(win, EINA_TRUE);

    Evas_Object* label = elm_label_add(win);
    elm_object_text_set(label, "How satisfied are you?");
    evas_object_size_hint_weight_set(label, EVAS_HINT_EXPAND, EVAS_HINT_EXPAND);
    elm_win_resize_object_add(win, label);
    evas_object_show(label);

    int w = 0, h = 0;
    elm_win_screen_size_get(win, NULL, NULL, &w, &h);
    evas_object_move(win, 0, 0);
    evas_object_resize(win, w, h);
    evas_object_show(win);
    elm_run();
    return 0;
}
ELM_MAIN()
