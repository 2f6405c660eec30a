// Numbers of the module's own resources, shared by the resource script and the code that loads
// them. Plain #defines: the resource compiler reads this file too.
#pragma once

// The plug-in property list that registers the module with the host.
#define CAMTAG_PIPL_ID 16000

// String table: the DV reader's failure reasons carry these numbers.
#define IDS_NOT_RIFF_AVI 1
#define IDS_NOT_DV 2
#define IDS_AVI_HEADER_READ 3
#define IDS_STREAM_HEADER_READ 4
#define IDS_INDEX_READ 5
#define IDS_OUT_OF_MEMORY 6
#define IDS_FRAME_READ 7
#define IDS_FRAME_POSITION 9

// The one-time warning shown to hosts whose interface the filter cannot follow.
#define IDS_HOST_TOO_NEW 18

// The settings dialog (template 101) and its controls.
#define IDD_SETTINGS 101
#define IDC_SETTINGS_PREVIEW 1000
#define IDC_SETTINGS_MODE 1048
#define IDC_SETTINGS_TABS 1052
#define IDC_SETTINGS_SHOWDURATION 1064
#define IDC_SETTINGS_HELP 9
#define IDC_SETTINGS_ABOUT 20
#define IDC_SETTINGS_SAVEDEFAULT 1024

// The About box (template 109), its picture and the pointing-hand cursor.
#define IDD_ABOUT 109
#define IDB_ABOUT 110
#define IDR_HAND_CURSOR 111
#define IDC_ABOUT_VERSION 1027
#define IDC_ABOUT_EMAIL 1051

// The tab pages and the format list editor.
#define IDD_FORMAT_LIST 112
#define IDD_DATETIME_PAGE 118
#define IDD_TIMECODE_PAGE 122
#define IDD_FORMAT_PAGE 123
#define IDD_POSITION_PAGE 124

// Controls the pages share: the user's text and the six numbers of the time adjustment.
#define IDC_PAGE_TITLE 1062
#define IDC_ADJUST_YEARS 1068
#define IDC_ADJUST_MONTHS 1069
#define IDC_ADJUST_DAYS 1070
#define IDC_ADJUST_HOURS 1071
#define IDC_ADJUST_MINUTES 1072
#define IDC_ADJUST_SECONDS 1073

// Position page edits that a click into the preview writes.
#define IDC_POSITION_X 1008
#define IDC_POSITION_Y 1012
