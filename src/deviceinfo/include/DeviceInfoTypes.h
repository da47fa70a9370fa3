// Enumerations shared by the device services and their users. Each has int as its fixed
// underlying type: callers pass numbers from outside the listed values (remote commands, other
// applications), and those must be well-defined values that the operations can refuse.
#pragma once

namespace deviceinfo {

// Result code carried by Excpn<eTavCommandResultCode> from the device services.
enum eTavCommandResultCode : int {
    TAV_COMMAND_RESULT_SUCCESS = 0,
    TAV_COMMAND_RESULT_FAILURE = 1
};

// Which value a menu getter answers with: 0 the current one, 1 its default.
enum eMenuValueType : int {
    MENU_VALUE_CURRENT = 0,
    MENU_VALUE_DEFAULT = 1
};

// The kind of file uploaded to the service's server; it chooses the folder and name prefix.
enum fileType : int {
    FILE_TAVAS = 0,
    FILE_TAVAS_BACKUP = 1,
    FILE_SURVEY = 2
};

// The interface sounds of the service's screens (Sound::playAUISound).
enum SoundAUIType : int {
    AUI_SOUND_MOVE_ITEM = 0,   // arrow key among items
    AUI_SOUND_CANCEL = 1,      // cancel, back, exit, time-out
    AUI_SOUND_MOVE = 2,        // arrow key elsewhere
    AUI_SOUND_CONFIRM = 3,     // submit, return
    AUI_SOUND_POPUP = 4        // a popup opens
};

} // namespace deviceinfo
