/* Web application service library (stand-in). Values come from the device profile
 * ("lumo/..." keys). 0 is success. Each call consults the fault switch of its own name. */
#ifndef TAV_PLATFORM_LUMO_H
#define TAV_PLATFORM_LUMO_H

#ifdef __cplusplus
extern "C" {
#endif

#define LUMO_DEBUG_INFO_SIZE 2560

/* The debug-information record, 2560 bytes; texts are NUL-terminated within their field. */
typedef struct {
    char engine_version[256];       /* offset 0 */
    char hub_site[896];             /* offset 256 */
    char dataven_firmcode[1408];    /* offset 1152 */
} lumo_debug_info_s;

int lumo_get_debug_info(lumo_debug_info_s *info);
/* On success *used_memory is a malloc'ed text the caller frees. */
int lumo_get_used_memory(char **used_memory);

#ifdef __cplusplus
}
#endif
#endif
