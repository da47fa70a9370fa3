/* Key-store library (stand-in). The key material comes from the device profile ("dekk/esn",
 * bytes) and may hold zero bytes. Consults the fault switch "dekk_get_esn". */
#ifndef TAV_PLATFORM_DEKK_H
#define TAV_PLATFORM_DEKK_H

#ifdef __cplusplus
extern "C" {
#endif

/* *length holds the buffer size on entry and the number of bytes written on success.
 * 0 on success; non-zero when the key is missing or does not fit. */
int dekk_get_esn(unsigned char *buffer, int *length);

#ifdef __cplusplus
}
#endif
#endif
