// Remote-control keys that a window of the service takes for itself while it exists, so that
// channel, source, colour, number and application keys reach it instead of the television's
// other applications. Arrow keys, volume, mute, voice and power are left to the platform.
#pragma once

#include <Evas.h>

#include <cstddef>

namespace UI {

// Grabbed by initializeRCUKeysHandling and released by freeRCUKeysHandling, in this order;
// a repeated name is grabbed and released once per entry.
inline constexpr const char* keysTab[] = {
    "XF86Back", "1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "minus", "Return",
    "XF86Red", "XF86Green", "XF86Yellow", "XF86Blue", "XF86Home", "XF86Home", "XF86Home",
    "XF86Display", "XF86ChannelList", "XF86LowerChannel", "XF86RaiseChannel", "XF86SysMenu",
    "XF86SimpleMenu", "XF86MBRRepeat", "XF86ChannelGuide", "XF86PictureSize", "XF86PictureMode",
    "XF86Hdmi", "XF86UsbHub", "XF86EManual", "XF86More", "XF86FactoryMode", "XF86Sleep", "XF86TV",
    "XF86DTV", "XF86ChannelAddDel", "XF86PanelDown", "XF86WWW", "XF86BTColorMecha",
    "XF86StillPicture", "XF86BTPairing", "XF86BTHotkey", "XF86CinemaMode", "XF86BTContentsBar",
    "XF86Game", "XF86PIPChannelUp", "XF86PIPChannelDown", "XF86Antena", "XF86ChannelAutoTune",
    "XF86PanelEnter", "XF86MBRLink", "XF86PanelUp", "XF86AudioStop", "XF86AudioRecord",
    "XF86AudioRewind", "XF86Game3D", "XF86PanelExit", "XF86Exit", "XF86MBRTV", "XF86MBRSTBGuide",
    "XF86MBRBDPopup", "XF86MBRBDDVDPower", "XF86MBRSetupFailure", "XF86MBRSetup",
    "XF86MBRWatchTV", "XF86PreviousChannel", "XF86FavoriteChannel", "XF86Recommend",
    "XF86NumberPad", "XF86AspectRatio169", "XF86MTS", "XF86Info", "XF86SoundMode", "XF863D",
    "XF86TTXMIX", "XF86SRSSXT", "XF86WIFIPairing", "XF86AudioPlay", "XF86AudioPause",
    "XF86DualView", "XF86BTApps", "XF86FamilyMode", "XF86EnergySaving", "XF86MBRClear",
    "XF86Subtitle", "XF86AudioNext", "XF86TVSNS", "XF86DVR", "XF86Apps", "XF86Camera",
    "XF86Caption", "XF86ZoomIn", "XF86PanelPlus", "XF86Search", "XF86PanelMinus",
    "XF86SoccerMode", "XF86Amazon", "XF86AudioDescription", "XF86PreviousChapter",
    "XF86NextChapter", "XF86Netflix", "XF86PIP", "XF86MBRWatchMovie", "XF86MBRMenu",
    "XF86MBRConfirm", "XF86Kovalo", "XF86HDMICEC", "XF86BTDevice", "XF86SoftWakeup",
    "XF86Wakeup", "XF86LeftPage", "XF86RightPage", "XF86PlayBack", "XF86ExtraApp",
    "XF86LaunchApp1", "XF86KeyPelvo"};

inline constexpr const char* keysTabVolume[] = {
    "XF86AudioLowerVolume", "XF86AudioRaiseVolume", "XF86AudioMute", "XF86BTVoice"};

inline constexpr const char* keyBTVoice = "XF86BTVoice";

inline constexpr std::size_t keysTabSize = sizeof(keysTab) / sizeof(keysTab[0]);
inline constexpr std::size_t keysTabVolumeSize = sizeof(keysTabVolume) / sizeof(keysTabVolume[0]);

// Grab / release every key of keysTab for `window`. A key the platform refuses is logged by
// name and skipped; the others are still handled.
void initializeRCUKeysHandling(Evas_Object* window);
void freeRCUKeysHandling(Evas_Object* window);

// The same for the volume keys (keysTabVolume) and for the voice key alone.
void addVolumeRCUKeysHandling(Evas_Object* window);
void freeVolumeRCUKeysHandling(Evas_Object* window);
void addBTVoiceRCUKeysHandling(Evas_Object* window);
void freeBTVoiceRCUKeysHandling(Evas_Object* window);

} // namespace UI
