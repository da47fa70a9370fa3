// Installation paths, well-known files and application ids shared by the service's programs.
// Built before main() runs; read-only afterwards.
#pragma once

#include <string>

// Application ids and names
extern const std::string NETWORK_STATUS_APP_ID;
extern const std::string SERVICE_ICON_APP_ID;
extern const std::string PICTURE_CHECK_APP_ID;
extern const std::string AUDIO_CHECK_APP_ID;
extern const std::string SETUP_GUIDE_APP_ID;
extern const std::string SETTINGS_MENU_APP_ID;
extern const std::string UNIVERSAL_REMOTE_APP_ID;
extern const std::string SW_UPDATE_APP_ID;
extern const std::string SERVICE_MODE_APP_ID;
extern const std::string PACKAGE_NAME;
extern const std::string DEVICE_CHECK_APP_ID;
extern const std::string APP_ID;

// Directories
extern const std::string APP_INSTALL_DIR;
extern const std::string BIN_DIR;
extern const std::string TMP_DIR;
extern const std::string DATA_DIR;
extern const std::string EDC_DIR;
extern const std::string SHARE_DIR;
extern const std::string BACKUP_DIR;
extern const std::string SURVEY_DIR;
extern const std::string CERT_DIR;
extern const std::string IMAGES_DIR;
extern const std::string EW_DIR;
extern const std::string EW_TEST_RESULT_DIR;
extern const std::string EW_ARCHIVE_DIR;
extern const std::string UPLOAD_TMP_DIR;

// Files and other names
extern const std::string DAEMON_PATH;
extern const std::string UI_DBUS_EFL_PATH;
extern const std::string POPUP_EDJ;
extern const std::string RADIO_BUTTON_EDJ;
extern const std::string FOCUS_EDJ;
extern const std::string CA_FILE;
extern const std::string SURVEY_RESULT_FILE;
extern const std::string TTY_BROADCAST_PROC;

extern const std::string STATE_FILE;
extern const std::string CONN_FALLBACK_FILE;
extern const std::string PARAMETER_FILE;
extern const std::string DIAGNOSIS_FILE;
extern const std::string VIRTUAL_REBOOT_FILE;
extern const std::string MICOM_UPDATE_FILE;
extern const std::string DIAGNOSIS_RESULT_FILE;
extern const std::string PCM_FILES_DIR;
extern const std::string PINCODE_WAV_FILE;
extern const std::string LOG_FILE;
extern const std::string DTVLOGD_TEMP_FILE;
extern const std::string FILTERING_DTVLOGD_TEMP_FILE;
extern const std::string DLOG_TEMP_FILE;
extern const std::string LOG_COLLECTING_FILE;
extern const std::string NETWORK_PACKET_DUMP_FILE;
extern const std::string EW_CODE_FILE;
extern const std::string TAVAS_XML_FILE;
extern const std::string SERVER_BACKUP_FILE;
extern const std::string LOG_FACTORY_INFO_FILE;
extern const std::string MENU_BACKUP_FILE;
extern const std::string CALIBRATION_BACKUP_FILE;
extern const std::string CHANNEL_MAP_SAVING_DIR;
extern const std::string EW_RESULT_FILE;
extern const std::string EW_FAIL_FILE;
extern const std::string EW_CODE_ARCHIVE;
extern const std::string MENU_STRUCTURE_FILE;
extern const std::string DTVLOGD_PROC;
extern const std::string CHANNEL_MAP_ARCHIVE;
extern const std::string APP_LIST_BACKUP_FILE;
extern const std::string APP_LIST_RESTORE_FILE;
extern const std::string NETWORK_PACKET_DIR;
extern const std::string NETWORK_PACKET_DUMP;
extern const std::string NETWORK_PACKET_ARCHIVE;
extern const std::string TCPDUMP_FILTER_FILE;
extern const std::string EW_MODE_FILE;
extern const std::string EW_WATCHDOG_FILE;
extern const std::string EW_CODE_XML;
