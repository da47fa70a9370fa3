/* Picture-quality library (stand-in). Values live in the device profile ("qorv/..." keys);
 * writes persist there and are journalled ("qorv"). 0 is success. Each call consults the fault
 * switch of its own name. */
#ifndef TAV_PLATFORM_QORV_H
#define TAV_PLATFORM_QORV_H

#ifdef __cplusplus
extern "C" {
#endif

int qorv_get_hdr_plus_mode(int *mode, int source);
int qorv_set_hdr_plus_mode(int mode, int source);
int qorv_set_picture_mode(int window, int mode, int source);
int qorv_get_video_gray_onoff(int *value);
int qorv_set_video_gray_onoff(int value);

#ifdef __cplusplus
}
#endif
#endif
