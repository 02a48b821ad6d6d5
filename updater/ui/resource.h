// Resource identifiers of Updater.exe (shared by the C++ code and updater.rc).
#pragma once

#define IDR_MAINFRAME 128
#define IDD_UPDATER_DIALOG 102
#define IDC_FINISH_BUTTON 1000
#define IDC_ERROR_TEXT 1001
// Resources of type "PNG".
#define IDB_BACKGROUND 132
#define IDB_LOGO 133
