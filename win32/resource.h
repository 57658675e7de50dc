/* Resource ids of the Windows station: dialog templates, artwork, and the controls of
 * every dialog. Read by the resource compiler (plain #defines only) and by the C++
 * shell. The main window's control ids are the ones app/control_ids.h names;
 * main_dialog.cpp checks at compile time that both agree. */
#ifndef KORVEX_WIN32_RESOURCE_H
#define KORVEX_WIN32_RESOURCE_H

/* Product version, shown in the About box and the version resource: the project's
 * VERSION in CMakeLists.txt, through the header the configure step writes. */
#include "korvex_version.h"

/* Dialog templates. */
#define IDD_ABOUT 100
#define IDD_MAIN 102
#define IDD_NAND_TABLE 139
#define IDD_DEBUG 146
#define IDD_FLASH_INFO 149

/* Artwork, generated at build time. */
#define IDI_KORVEX 128
#define IDB_BANNER 129

/* The system menu's About item. */
#define IDM_ABOUT 0x0010

/* Main dialog (102). */
#define IDC_NAND_CHECK 1000
#define IDC_NAND_PATH 1001
#define IDC_NAND_OPEN 1002
#define IDC_LOADER_CHECK 1003
#define IDC_LOADER_PATH 1004
#define IDC_LOADER_OPEN 1005
#define IDC_DEF_BOOT_CHECK 1006
#define IDC_DEF_BOOT_PATH 1007
#define IDC_DEF_BOOT_OPEN 1008
#define IDC_IMG_BOOT_CHECK 1009
#define IDC_IMG_BOOT_PATH 1010
#define IDC_IMG_BOOT_OPEN 1011
#define IDC_MINIOS_CHECK 1012
#define IDC_MINIOS_PATH 1013
#define IDC_MINIOS_OPEN 1014
#define IDC_RES_CHECK 1015
#define IDC_RES_PATH 1016
#define IDC_RES_OPEN 1017
#define IDC_MODE_SWITCH 1018
#define IDC_FORMAT_AFTER_BURN 1019
#define IDC_DEMO_CHECK 1020
#define IDC_DEMO_PATH 1021
#define IDC_DEMO_OPEN 1030
#define IDC_BANNER 1031
#define IDC_COUNTER 1042
#define IDC_CLEAR 1043
#define IDC_TEST_BUTTON 1050
#define IDC_UPDATE_BUTTON 1051
#define IDC_NAND_TABLE 1056
#define IDC_CPU_MODEL 1058
#define IDC_CPU_MODEL_LABEL 1060
#define IDC_DEBUG 1061
#define IDC_READ 1064
#define IDC_PROGRESS_LIST 1065
#define IDC_FROM_PAGE 1066
#define IDC_TO_PAGE 1067
#define IDC_FILE_SYSTEM_FORMAT 1070
#define IDC_ERASE_WHOLE_CHIP 1078
#define IDC_FLASH_INFO 1079

/* NAND parameter table dialog (139). */
#define IDC_TABLE_NAME 1074
#define IDC_TABLE_MAIN_ID 1052
#define IDC_TABLE_EXT_ID 1002
#define IDC_TABLE_PAGE_SIZE 1003
#define IDC_TABLE_BLOCK_SIZE 1053
#define IDC_TABLE_SPARE_SIZE 1005
#define IDC_TABLE_TOTAL_BLOCKS 1075
#define IDC_TABLE_LIST 1054
#define IDC_TABLE_ADD 1055
#define IDC_TABLE_DELETE 1071

/* Debug dialog (146). */
#define IDC_DEBUG_LOAD 1073

/* Flash information dialog (149). */
#define IDC_INFO_MAIN_ID 1080
#define IDC_INFO_EXT_ID 1002
#define IDC_INFO_PAGE_SIZE 1003
#define IDC_INFO_BLOCK_SIZE 1004
#define IDC_INFO_SPARE_SIZE 1005
#define IDC_INFO_BUS_WIDTH 1006
#define IDC_INFO_PLANE_COUNT 1007
#define IDC_INFO_QUERY 1081

/* About dialog (100). */
#define IDC_ABOUT_ICON 1090
#define IDC_ABOUT_NAME 1091

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
