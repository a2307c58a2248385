// Resource and control ids of Tarvel_AP. Plain #defines so that both the
// resource compiler and C++ can include this file.
#ifndef TARVEL_RES_RESOURCE_H
#define TARVEL_RES_RESOURCE_H

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Dialog templates
#define IDD_ABOUTBOX         100
#define IDD_TARVEL_AP_DIALOG 102
#define IDD_SELECT_AREA      129
#define IDD_TAB_FLASH        131
#define IDD_TAB_EEPROM       132
#define IDD_PASSWORD         133
#define IDD_PRODUCTION_VIEW  134

// Icon, bitmap and string resources
#define IDS_ABOUTBOX  101
#define IDR_MAINFRAME 128
#define IDB_BANNER    130

// System menu commands of the main window (WM_SYSCOMMAND). The system keeps
// the low four bits of such an id for itself, so ours step by 0x10.
#define IDM_ABOUTBOX         0x0010
#define IDM_LANGUAGE_ENGLISH 0x0020
#define IDM_LANGUAGE_CHINESE 0x0030
#define IDM_SAVE_FLASH       0x0040
#define IDM_SAVE_EEPROM      0x0050
#define IDM_OPEN_PROJECT     0x0060
#define IDM_SAVE_PROJECT     0x0070
#define IDM_UNLOCK_PROJECT   0x0080
#define IDM_PRODUCTION_VIEW  0x0090

// Main dialog: picture, group boxes and labels
#define IDC_BANNER                 1000
#define IDC_GROUP_MCU_TYPE         1001
#define IDC_GROUP_DOWNLOAD_SETTING 1003
#define IDC_GROUP_MCU_OPTIONS      1004
#define IDC_GROUP_MESSAGE          1005
#define IDC_GROUP_CODE_BUFFER      1006
#define IDC_LABEL_PART_NO          1007
#define IDC_LABEL_PORT_NO          1008
#define IDC_LABEL_BAUDRATE         1009
#define IDC_LABEL_CHECKRATE        1010
#define IDC_GROUP_COM_PORT         1045

// Main dialog: drop-down lists
#define IDC_FAMILY_LIST    1013
#define IDC_PORT_LIST      1014
#define IDC_BAUDRATE_LIST  1015
#define IDC_CHECKRATE_LIST 1016
#define IDC_PART_LIST      1017

// Main dialog: check boxes (IDC_OPTION4..7 and IDC_RSTN_COLD_RESET are hidden)
#define IDC_AUTO_RELOAD     1018
#define IDC_ERASE_BY_SIZE   1019
#define IDC_OPTION0         1020
#define IDC_OPTION1         1021
#define IDC_OPTION2         1022
#define IDC_OPTION3         1023
#define IDC_OPTION4         1024
#define IDC_OPTION5         1025
#define IDC_OPTION6         1026
#define IDC_OPTION7         1027
#define IDC_ENABLE_MODIFY   1028
#define IDC_RSTN_COLD_RESET 1039

// Main dialog: log, tab control, progress bar
#define IDC_LOG      1029
#define IDC_PROGRESS 1040
#define IDC_TAB      1056

// Main dialog: buttons (IDC_ASSISTANT is hidden; IDC_EXIT is IDCANCEL, so
// Escape and the close box end the dialog through the same command)
#define IDC_EXIT          2
#define IDC_UPDATE        1034
#define IDC_REPEAT_UPDATE 1035
#define IDC_DUMP_INFO     1036
#define IDC_LOAD_FILE     1037
#define IDC_ASSISTANT     1038
#define IDC_CLEAR_MESSAGE 1053
#define IDC_OPEN_PORT     1068
#define IDC_CLOSE_PORT    1069

// About box
#define IDC_ABOUT_VERSION     1041
#define IDC_ABOUT_MESSAGE     1042
#define IDC_ABOUT_CHECK       1043
#define IDC_ABOUT_DOWNLOAD    1044
#define IDC_ABOUT_UPDATE_TIPS 1054
#define IDC_ABOUT_NOTICE      1070

// Insert-area dialog (OK and Cancel are IDOK and IDCANCEL)
#define IDC_CLEAR_BUFFER  1048
#define IDC_ADDRESS_EDIT  1049
#define IDC_ADDRESS_LABEL 1050
#define IDC_AREA_AP       1051
#define IDC_AREA_IAP      1052

// Password dialog (OK and Cancel are IDOK and IDCANCEL)
#define IDC_PASSWORD             1071
#define IDC_PASSWORD_AGAIN       1072
#define IDC_PASSWORD_LABEL       1073
#define IDC_PASSWORD_AGAIN_LABEL 1074
#define IDC_PASSWORD_NOTE        1075

// Production view: buttons, counters, the run's state line; the tiles are
// made at run time with the ids from IDC_PV_TILE0 on, one per port
#define IDC_PV_START    1080
#define IDC_PV_STOP     1081
#define IDC_PV_RESET    1082
#define IDC_PV_SOUNDS   1083
#define IDC_PV_COUNTERS 1084
#define IDC_PV_RATE     1085
#define IDC_PV_STATUS   1086
#define IDC_PV_TILE0    1100

// Tab pages: the hex editor placeholder has the same id on both pages
#define IDC_HEXEDIT           1055
#define IDC_EEPROM_SUM        1058
#define IDC_EEPROM_SIZE       1059
#define IDC_EEPROM_PATH       1060
#define IDC_EEPROM_SUM_LABEL  1061
#define IDC_EEPROM_SIZE_LABEL 1062
#define IDC_FLASH_PATH        1063
#define IDC_FLASH_SIZE        1064
#define IDC_FLASH_SUM         1065
#define IDC_FLASH_SIZE_LABEL  1066
#define IDC_FLASH_SUM_LABEL   1067

#endif
