// Ids of the program's resources, shared by the game's code, the Windows resource script
// (Quorvane.rc) and the resource table of other hosts (Resources.cpp).
#pragma once

#define IDS_APP_TITLE 101
#define IDS_WINDOW_CLASS 109

#define IDD_ABOUTBOX 102
#define IDM_ABOUT 103
#define IDC_LINK_CURSOR 104
#define IDC_GAME_CURSOR 105
#define IDM_EXIT 106
#define IDI_MAIN 107
#define IDI_SMALL 108
#define IDR_MAINMENU 109

#define IDC_LINK_WEB 1002
#define IDC_LINK_MAIL 1003

#define IDM_15FPS 32775
#define IDM_30FPS 32776
#define IDM_60FPS 32777
#define IDM_SOUND_ON 32781
#define IDM_SOUND_OFF 32782
#define IDM_FULL_640 32788
#define IDM_FULL_320 32789
#define IDM_WINDOW_640 32790
#define IDM_WINDOW_320 32791
#define IDM_CAPTURE 32792
#define IDM_VSYNC_ON 32795
#define IDM_VSYNC_OFF 32796

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
