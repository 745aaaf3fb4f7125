// Resource and control ids, shared by the resource script and the code.
#pragma once

#define IDD_ABOUT        104
#define IDD_RIP_OPTIONS  107
#define IDD_PROGRESS     108
#define IDD_DISC_INFO    109
#define IDD_RELEASES     110
#define IDD_MAIN         1000

#define IDI_APP             101
#define IDI_EXIT            202
#define IDI_RIP             203
#define IDI_ABOUT           204
#define IDI_WEB             205
#define IDI_REFRESH         209
#define IDI_OK              211
#define IDI_CANCEL          212
#define IDI_REFRESH_BUSY    215
#define IDI_RIP_BUSY        216
#define IDI_DISC_INFO       217
#define IDI_DISC_INFO_BUSY  218

// Main window
#define IDC_ABOUT        2001
#define IDC_RIP          2003
#define IDC_DRIVES       2006
#define IDC_TRACKS       2007
#define IDC_REFRESH      2018
#define IDC_ARTIST       2019
#define IDC_ALBUM        2020
#define IDC_YEAR         2022
#define IDC_STATUS       2031
#define IDC_DISC_INFO    2033

// Rip options dialog (its check boxes share the ids of the artist and album fields)
#define IDC_OPT_ARTIST   2019
#define IDC_OPT_ALBUM    2020
#define IDC_BROWSE       2024
#define IDC_FOLDER       2025
#define IDC_MP3          2026
#define IDC_WAV          2027
#define IDC_WMA          2032
#define IDC_FLAC         2036

// Progress dialog
#define IDC_TRACK_LABEL   2008
#define IDC_PROGRESS_TEXT 2028
#define IDC_TRACK_BAR     2029
#define IDC_TOTAL_BAR     2030

// Disc info dialog
#define IDC_GENRE        2021
#define IDC_SERVER       2034
#define IDC_CONNECTING   2035
#define IDC_EMAIL        2038
#define IDC_EMAIL_NOTE   2039
#define IDC_TEST_COPY    2040

// Release chooser
#define IDC_RELEASES     2038

// About dialog
#define IDC_HOME_PAGE    2004
#define IDC_ABOUT_TEXT   2037
