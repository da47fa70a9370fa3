/* efl-assist (stand-in): the television's extensions to Elementary.
 *
 * The stand-in journals every call ("efl_assist": "ea_init", "ea_shutdown",
 * "ea_config_text_scale_set <n>", "ea_apply_color_pick <evas object type>") and consults
 * tavplat::checkFault("<call name>") (a delay only: none of the calls reports a result).
 * Nothing here changes how widgets look: the colour pick and the text scale of the television
 * are its own business. */
#ifndef TAV_PLATFORM_EFL_ASSIST_H
#define TAV_PLATFORM_EFL_ASSIST_H

#include <Evas.h>

#ifdef __cplusplus
extern "C" {
#endif

void ea_init(int argc, char **argv);
void ea_shutdown(void);
/* 1 turns the enlarged text of the accessibility menu on, 0 off. */
void ea_config_text_scale_set(int enable);
/* Applies the television's colour theme to a widget tree. */
void ea_apply_color_pick(Evas_Object *obj);

#ifdef __cplusplus
}
#endif
#endif
