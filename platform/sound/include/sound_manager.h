/* Sound manager of the television (stand-in): master volume and mute, the speaker in use, and
 * stream information for players.
 *
 * State lives in the settings store (vconf), so other processes and `vconftool` see it:
 *   "db/sound-manager/tv/master_volume"     int 0..100 (20 when unset)
 *   "db/sound-manager/tv/master_mute"       bool       (false when unset)
 *   "db/sound-manager/tv/speaker_selection" int, sound_manager_speaker_e (TV speakers when unset)
 * Changes are written to the journal "sound_manager" ("volume <n>", "mute <0|1>",
 * "speaker <n>"). Every call consults tavplat::checkFault("<call name>"). */
#ifndef TAV_PLATFORM_SOUND_MANAGER_H
#define TAV_PLATFORM_SOUND_MANAGER_H

#include <errno.h>
#include <stdbool.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TAV_TIZEN_ERROR_SOUND_MANAGER (-0x01960000)

typedef enum {
    SOUND_MANAGER_ERROR_NONE = 0,
    SOUND_MANAGER_ERROR_OUT_OF_MEMORY = -ENOMEM,
    SOUND_MANAGER_ERROR_INVALID_PARAMETER = -EINVAL,
    SOUND_MANAGER_ERROR_INVALID_OPERATION = -ENOSYS,
    SOUND_MANAGER_ERROR_PERMISSION_DENIED = -EACCES,
    SOUND_MANAGER_ERROR_NOT_SUPPORTED = -1073741822,
    SOUND_MANAGER_ERROR_NO_DATA = -ENODATA,
    SOUND_MANAGER_ERROR_INTERNAL = TAV_TIZEN_ERROR_SOUND_MANAGER | 0x01,
    SOUND_MANAGER_ERROR_POLICY = TAV_TIZEN_ERROR_SOUND_MANAGER | 0x02,
    SOUND_MANAGER_ERROR_NO_PLAYING_SOUND = TAV_TIZEN_ERROR_SOUND_MANAGER | 0x03,
    SOUND_MANAGER_ERROR_INVALID_STATE = TAV_TIZEN_ERROR_SOUND_MANAGER | 0x04
} sound_manager_error_e;

/* The speaker the television sends its sound to: its own, or an external one. */
typedef enum {
    SOUND_MANAGER_SPEAKER_TV = 0,
    SOUND_MANAGER_SPEAKER_RECEIVER = 1,
    SOUND_MANAGER_SPEAKER_OPTICAL = 2,
    SOUND_MANAGER_SPEAKER_BLUETOOTH = 3,
    SOUND_MANAGER_SPEAKER_HEADPHONE = 4
} sound_manager_speaker_e;

#define SOUND_MANAGER_TV_VOLUME_MAX 100

typedef struct sound_stream_info_s *sound_stream_info_h;

/* Never called by the stand-in: there is no other stream to take the focus. */
typedef void (*sound_stream_focus_state_changed_cb)(sound_stream_info_h stream_info, int focus_mask,
                                                    int focus_state, int reason, int sound_behavior,
                                                    const char *extra_info, void *user_data);

/* Stream types are the television's internal numbers; 0 to 199 are accepted. */
int sound_manager_create_stream_information_internal(int stream_type,
                                                     sound_stream_focus_state_changed_cb callback,
                                                     void *user_data, sound_stream_info_h *stream_info);
int sound_manager_destroy_stream_information(sound_stream_info_h stream_info);
/* The type of a live stream information; INVALID_PARAMETER for one that was destroyed. */
int sound_manager_get_type_from_stream_information_internal(sound_stream_info_h stream_info, int *type);

int sound_manager_get_tv_master_volume(int *level);
int sound_manager_set_tv_master_volume(int level);
int sound_manager_get_tv_master_mute(bool *muted);
int sound_manager_set_tv_master_mute(bool mute);
int sound_manager_get_speaker_selection(sound_manager_speaker_e *speaker);
int sound_manager_set_speaker_selection(sound_manager_speaker_e speaker);

#ifdef __cplusplus
}
#endif
#endif
