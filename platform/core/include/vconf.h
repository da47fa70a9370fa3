/* Key-value settings store (stand-in), durable under <platform root>/vconf/<key>.
 *
 * Each key is one file holding "<type>\n<value>"; writes go to a temporary file that is then
 * renamed over the key, so readers never see a torn value.
 *
 * Change notifications:
 *  - a set in this process calls the listeners of this process synchronously, on the setting
 *    thread, after the new value is durable;
 *  - a set from another process (for example `vconftool`) is seen by an inotify watcher thread
 *    that this library starts with the first vconf_notify_key_changed(); the listeners are then
 *    called on that watcher thread.
 */
#ifndef TAV_PLATFORM_VCONF_H
#define TAV_PLATFORM_VCONF_H

#ifdef __cplusplus
extern "C" {
#endif

enum vconf_t {
    VCONF_TYPE_NONE = 0,
    VCONF_TYPE_STRING = 40,
    VCONF_TYPE_INT = 41,
    VCONF_TYPE_DOUBLE = 42,
    VCONF_TYPE_BOOL = 43,
    VCONF_TYPE_DIR = 44
};

#define VCONF_OK 0
#define VCONF_ERROR (-1)

typedef struct _keynode_t keynode_t;
typedef void (*vconf_callback_fn)(keynode_t *node, void *user_data);

/* Returns a malloc'ed copy of the value, or NULL when the key is missing, not a string, or failing. */
char *vconf_get_str(const char *in_key);
int vconf_get_int(const char *in_key, int *intval);
int vconf_get_bool(const char *in_key, int *boolval);
int vconf_set_str(const char *in_key, const char *strval);
int vconf_set_int(const char *in_key, const int intval);
int vconf_set_bool(const char *in_key, const int boolval);
int vconf_unset(const char *in_key);

int vconf_notify_key_changed(const char *in_key, vconf_callback_fn cb, void *user_data);
int vconf_ignore_key_changed(const char *in_key, vconf_callback_fn cb);

const char *vconf_keynode_get_name(keynode_t *keynode);
int vconf_keynode_get_type(keynode_t *keynode);
int vconf_keynode_get_int(const keynode_t *keynode);
int vconf_keynode_get_bool(const keynode_t *keynode);
char *vconf_keynode_get_str(const keynode_t *keynode);

#ifdef __cplusplus
}
#endif
#endif
