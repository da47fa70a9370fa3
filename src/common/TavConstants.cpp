// Definition order matters: every base is defined (and so constructed) before the names
// joined from it, all in this one translation unit.
#include "TavConstants.h"

const std::string NETWORK_STATUS_APP_ID = "org.tizen.tav-network-status";
const std::string SERVICE_ICON_APP_ID = "org.tizen.tav-service-icon";
const std::string PICTURE_CHECK_APP_ID = "org.tizen.picture-check";
const std::string AUDIO_CHECK_APP_ID = "org.tizen.audio-check";
const std::string SETUP_GUIDE_APP_ID = "org.tizen.setup-guide";
const std::string SETTINGS_MENU_APP_ID = "org.tizen.settings-menu";
const std::string UNIVERSAL_REMOTE_APP_ID = "org.tizen.universal-remote";
const std::string SW_UPDATE_APP_ID = "org.tizen.sw-update";
const std::string SERVICE_MODE_APP_ID = "org.tizen.service-mode";
const std::string PACKAGE_NAME = "tavrin";
const std::string DEVICE_CHECK_APP_ID = "com.kestova.device-check";
const std::string APP_ID = "org.tizen.tavrin";

const std::string APP_INSTALL_DIR = "/usr/apps/org.tizen.tavrin";
const std::string BIN_DIR = "/usr/bin";
const std::string TMP_DIR = std::string("/opt/usr/apps/org.tizen.tavrin/tmp") + "/";
const std::string DATA_DIR = std::string("/opt/usr/apps/org.tizen.tavrin") + "/";
const std::string EDC_DIR = std::string("/usr/apps/org.tizen.tavrin/res/edc") + "/";
const std::string SHARE_DIR = std::string("/opt/usr/home/owner/share") + "/";
const std::string BACKUP_DIR = std::string("/opt/usr/apps/org.tizen.tavrin/tavbackup") + "/";
const std::string SURVEY_DIR = std::string("/opt/usr/apps/org.tizen.tavrin/survey") + "/";
const std::string CERT_DIR = "/opt/data/cert";
const std::string IMAGES_DIR = "/usr/apps/org.tizen.tavrin/res/images";
const std::string EW_DIR = "/opt/data/BM/EW/";
const std::string EW_TEST_RESULT_DIR = "/opt/data/BM/EW/test_result/";
const std::string EW_ARCHIVE_DIR = "/opt/data/BM/EW/";
const std::string UPLOAD_TMP_DIR = std::string("/opt/usr/apps/org.tizen.tavrin/tmp") + "/";

const std::string DAEMON_PATH = BIN_DIR + "/tavdemon";
const std::string UI_DBUS_EFL_PATH = APP_INSTALL_DIR + "/tavuidbusefl";
const std::string POPUP_EDJ = EDC_DIR + "TavPopup.edj";
const std::string RADIO_BUTTON_EDJ = EDC_DIR + "TavRadioButton.edj";
const std::string FOCUS_EDJ = EDC_DIR + "TavFocus.edj";
const std::string CA_FILE = CERT_DIR + "/trxca.pem";
const std::string SURVEY_RESULT_FILE = SURVEY_DIR + "TavSurveyResult.xml";
const std::string TTY_BROADCAST_PROC = "/proc/tty/broadcast";

const std::string STATE_FILE = TMP_DIR + "TAVStateFile";
const std::string CONN_FALLBACK_FILE = TMP_DIR + "TavConnFallBack";
const std::string PARAMETER_FILE = TMP_DIR + "TAVParameterFile";
const std::string DIAGNOSIS_FILE = TMP_DIR + "TAVDiagnosisFile";
const std::string VIRTUAL_REBOOT_FILE = TMP_DIR + "TAVVirtualRebootFile";
const std::string MICOM_UPDATE_FILE = TMP_DIR + "TAVMicomUpdateFile";
const std::string DIAGNOSIS_RESULT_FILE = TMP_DIR + "TAVDiagnosisResultFile";
const std::string PCM_FILES_DIR = TMP_DIR + "pcm_files/";
const std::string PINCODE_WAV_FILE = TMP_DIR + "tav_pincode.wav";
const std::string LOG_FILE = TMP_DIR + "tav_log.txt";
const std::string DTVLOGD_TEMP_FILE = TMP_DIR + "temp_tav_dtvlogd.txt";
const std::string FILTERING_DTVLOGD_TEMP_FILE = TMP_DIR + "temp_tav_filtering_dtvlogd.txt";
const std::string DLOG_TEMP_FILE = TMP_DIR + "temp_tav_dlog.txt";
const std::string LOG_COLLECTING_FILE = TMP_DIR + "TAVLogCollectingFile";
const std::string NETWORK_PACKET_DUMP_FILE = TMP_DIR + "TAVNetworkPacketDumpFile";
const std::string EW_CODE_FILE = TMP_DIR + "TAVEWCodeFile";
const std::string TAVAS_XML_FILE = TMP_DIR + "tavas.xml";
const std::string SERVER_BACKUP_FILE = TMP_DIR + "tav_server_backup_file.tar.gz";
const std::string LOG_FACTORY_INFO_FILE = DATA_DIR + "TAVLogFactoryInfoFile";
const std::string MENU_BACKUP_FILE = BACKUP_DIR + "tav_menu_backup_file.xml";
const std::string CALIBRATION_BACKUP_FILE = BACKUP_DIR + "tav_calibration_backup_file";
const std::string CHANNEL_MAP_SAVING_DIR = SHARE_DIR + "tav_channel_map_saving_directory";
const std::string EW_RESULT_FILE = EW_TEST_RESULT_DIR + "result.txt";
const std::string EW_FAIL_FILE = EW_TEST_RESULT_DIR + "fail.txt";
const std::string EW_CODE_ARCHIVE = EW_ARCHIVE_DIR + "EWCode_Result_archivefile.tar.bz2";
const std::string MENU_STRUCTURE_FILE = std::string("/usr/apps/org.tizen.tavrin/res/xml") + "/menuStructure.xml";
const std::string DTVLOGD_PROC = "/proc/dtvlogd";
const std::string CHANNEL_MAP_ARCHIVE = "/tmp/tav_channel_map.tar.gz";
const std::string APP_LIST_BACKUP_FILE = "/tmp/tav_cordia_app_list_backup_file.xml";
const std::string APP_LIST_RESTORE_FILE = "/tmp/tav_cordia_app_list_restore_file.xml";
const std::string NETWORK_PACKET_DIR = "/tmp/tav_networkpacket";
const std::string NETWORK_PACKET_DUMP = "/tmp/tav_networkpacket/dump.pcap";
const std::string NETWORK_PACKET_ARCHIVE = "/tmp/networkpacket.tar.bz2";
const std::string TCPDUMP_FILTER_FILE = "/tmp/tcpdumpfilter";
const std::string EW_MODE_FILE = "/opt/data/BM/EW/tav_mode";
const std::string EW_WATCHDOG_FILE = "/opt/data/BM/EW/test_result/Watchdog";
const std::string EW_CODE_XML = "/opt/data/BM/EW/test_result/ewcode.xml";
