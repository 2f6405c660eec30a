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
#define IDC_ABOUT_HELP 1051

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

// The date and time page.
#define IDC_DATETIME_TIMEFORMAT 1016
#define IDC_DATETIME_DATEFORMAT 1014
#define IDC_DATETIME_EDIT_TIMES 1029
#define IDC_DATETIME_EDIT_DATES 1030

// The timecode page.
#define IDC_TIMECODE_SMPTE 1065
#define IDC_TIMECODE_TIME 1066
#define IDC_TIMECODE_FRAMES 1067
#define IDC_TIMECODE_TIMELINE 1053
#define IDC_TIMECODE_CLIP 1054
#define IDC_TIMECODE_FILE 1055
#define IDC_TIMECODE_TAPE 1056
#define IDC_TIMECODE_START_CAPTION 1058
#define IDC_TIMECODE_START_HOURS 1079
#define IDC_TIMECODE_START_MINUTES 1077
#define IDC_TIMECODE_START_SECONDS 1076
#define IDC_TIMECODE_START_FRAMES 1074
#define IDC_TIMECODE_PREFIX 1061
#define IDC_TIMECODE_HOURS 1080
#define IDC_TIMECODE_SHOWFRAMES 1063

// The format page.
#define IDC_FORMAT_FONT 1015
#define IDC_FORMAT_TEXT_COLOR 1003
#define IDC_FORMAT_OUTLINE_COLOR 1004
#define IDC_FORMAT_BACKGROUND_COLOR 1005
#define IDC_FORMAT_SHADOW_COLOR 1006
#define IDC_FORMAT_TRANSPARENCY 1049
#define IDC_FORMAT_TRANSPARENCY_ARROWS 1050
#define IDC_FORMAT_ALIGN 1023
#define IDC_FORMAT_OUTLINE 1028
#define IDC_FORMAT_SHADOW 1031
#define IDC_FORMAT_BACKGROUND 1059

// The position page (besides its X and Y edits above).
#define IDC_POSITION_X_ARROWS 1009
#define IDC_POSITION_Y_ARROWS 1013
#define IDC_POSITION_ANGLE 1010
#define IDC_POSITION_ANGLE_ARROWS 1011
#define IDC_POSITION_TIME_UP 1017
#define IDC_POSITION_DATE_UP 1018
#define IDC_POSITION_SINGLE_LINE 1038

// The format list editor.
#define IDC_FORMATS_PICTURE 1014
#define IDC_FORMATS_LIST 1030
#define IDC_FORMATS_ADD 1032
#define IDC_FORMATS_UPDATE 1035
#define IDC_FORMATS_REMOVE 1033
#define IDC_FORMATS_HELP 1034
#define IDC_FORMATS_EXAMPLE 1036
