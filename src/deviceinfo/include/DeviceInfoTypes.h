// Value types shared by the device services (device and system properties, sound, input,
// application utilities) and their callers.
#pragma once

namespace deviceinfo {

// Result code carried by Excpn<deviceinfo::eTavCommandResultCode>.
enum eTavCommandResultCode : int {
    TAV_COMMAND_RESULT_SUCCESS = 0,
    TAV_COMMAND_RESULT_FAILED = 1,
};

// Which value a menu getter answers with: the current one, or the menu's default.
enum eMenuValueType : int {
    MENU_VALUE_CURRENT = 0,
    MENU_VALUE_DEFAULT = 1,
};

// Kind of file uploaded to the service's server; decides its folder and name.
enum fileType : int {
    FILE_TAVAS = 0,
    FILE_TAVAS_BACKUP = 1,
    FILE_SURVEY = 2,
};

// Interface sounds of the service's screens.
enum SoundAUIType : int {
    AUI_SOUND_MOVE_FOCUSED = 0,
    AUI_SOUND_CANCEL = 1,
    AUI_SOUND_MOVE = 2,
    AUI_SOUND_CONFIRM = 3,
    AUI_SOUND_POPUP = 4,
};

} // namespace deviceinfo
