/* WAV player (stand-in). A file is accepted only when it is a RIFF/WAVE file with a readable
 * format chunk and a data chunk; its length comes from the data size and the format. With no
 * audio device the stand-in plays in real time without output: each pass takes as long as the
 * sound, passes repeat `count` times (0: until stopped), and the completion callback is called
 * on the player's own thread after the last pass. A stopped playback never calls it.
 *
 * Journal "wav_player": "start <id> <path> count=<n> ms=<length of one pass>", "complete <id>",
 * "stop <id>". Every call consults tavplat::checkFault("<call name>"). */
#ifndef TAV_PLATFORM_WAV_PLAYER_H
#define TAV_PLATFORM_WAV_PLAYER_H

#include <errno.h>

#include "sound_manager.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TAV_TIZEN_ERROR_WAV_PLAYER (-0x01930000)

typedef enum {
    WAV_PLAYER_ERROR_NONE = 0,
    WAV_PLAYER_ERROR_INVALID_PARAMETER = -EINVAL,
    WAV_PLAYER_ERROR_INVALID_OPERATION = -ENOSYS,
    WAV_PLAYER_ERROR_FORMAT_NOT_SUPPORTED = TAV_TIZEN_ERROR_WAV_PLAYER | 0x01,
    WAV_PLAYER_ERROR_NOT_SUPPORTED_TYPE = TAV_TIZEN_ERROR_WAV_PLAYER | 0x02
} wav_player_error_e;

typedef void (*wav_player_playback_completed_cb)(int id, void *user_data);

/* INVALID_PARAMETER for a missing path, file or id pointer, or a destroyed stream information;
 * FORMAT_NOT_SUPPORTED for a file that is not a usable WAV file. */
int wav_player_start_loop(const char *path, sound_stream_info_h stream_info, unsigned int count,
                          wav_player_playback_completed_cb callback, void *user_data, int *id);
/* Stops a playback; INVALID_OPERATION for an id that does not play (any more). */
int wav_player_stop(int id);

#ifdef __cplusplus
}
#endif
#endif
