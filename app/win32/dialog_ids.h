/* Identifiers of the dialog's resources, for the resource script and the C++ code alike (the
   resource compiler reads only the preprocessor's #define lines, so this header holds nothing
   else). The control ids equal the controller's (control_ids.h); dialog_ids_check.h checks
   that they do. */
#ifndef PENWICK_WIN32_DIALOG_IDS_H
#define PENWICK_WIN32_DIALOG_IDS_H

#define IDI_PROGRAM 1
#define IDD_MAIN 100
#define IDD_ABOUT 101

/* The dialog commands and the controls (the controller's ids). */
#define IDC_EXIT 1
#define IDC_CANCEL_HIDDEN 2
#define IDC_SERIAL_OPEN 1000
#define IDC_SERIAL_CLOSE 1001
#define IDC_MESSAGE_LIST 1002
#define IDC_DOWNLOAD 1003
#define IDC_UPLOAD 1004
#define IDC_UNPACK_FLASH 1005
#define IDC_PACK_FLASH 1006
#define IDC_GET_PACKED 1007
#define IDC_GET_EEPROM 1008
#define IDC_VIEW_MODEL_ID 1009
#define IDC_VIEW_SYSTEM_ID 1010
#define IDC_FILE_OPEN 1011
#define IDC_PROGRESS 1012
#define IDC_STATUS 1013

/* The service panel's group boxes. */
#define IDC_GROUP_SERIAL 1020
#define IDC_GROUP_FUNCTIONS 1021
#define IDC_GROUP_ETC 1022

/* The about box's texts. */
#define IDC_ABOUT_NAME 1100
#define IDC_ABOUT_YEAR 1101

/* The system menu's About command. */
#define IDM_ABOUT 16

/* The dialog's size in dialog units: the operator's part alone, and with the service panel
   (which lies below it in the template and is shown only with --service). */
#define DLG_WIDTH 188
#define DLG_HEIGHT 85
#define DLG_SERVICE_WIDTH 372
#define DLG_SERVICE_HEIGHT 273

#endif
