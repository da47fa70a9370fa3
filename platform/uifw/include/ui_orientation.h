/* UI orientation of the television (stand-in).
 * ua_UI_orientation_get() reads the integer setting "db/menu/system/ui_orientation" of the
 * settings store: 0 left-to-right (also when unreadable), 1 mirrored (right-to-left). Unset, it
 * follows the menu language ("db/menu_widget/language") as the television does: 1 for Arabic,
 * Persian, Hebrew and Urdu, 0 for the others.
 * Faults: tavplat::checkFault("ua_UI_orientation_get") makes it report 0. */
#ifndef TAV_PLATFORM_UI_ORIENTATION_H
#define TAV_PLATFORM_UI_ORIENTATION_H

#ifdef __cplusplus
extern "C" {
#endif

#define UA_UI_ORIENTATION_KEY "db/menu/system/ui_orientation"

int ua_UI_orientation_get(void);

#ifdef __cplusplus
}
#endif
#endif
