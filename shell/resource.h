// Resource ids of the driver's program: menus, strings, dialogs and their controls.
// Shared by the resource script and the C++ sources, so plain defines only.
#pragma once

// Icons: large (the class icon) and small.
#define IDI_KORVEL 1
#define IDI_KORVEL_SMALL 108

// Menu and accelerator table.
#define IDR_MAIN_MENU 109
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_DEBUG_CLEAR 32771
#define IDM_TEST_SET 32772
#define IDM_DEBUG_ON 32773
#define IDM_DEBUG_HIDE 32775
#define IDM_RESET_VT_BASE 32780 /* + VT number, 32781 to 32789 */
#define IDM_RESET_VT1 32781
#define IDM_RESET_VT2 32782
#define IDM_RESET_VT3 32783
#define IDM_RESET_VT4 32784
#define IDM_RESET_VT5 32785
#define IDM_RESET_VT6 32786
#define IDM_RESET_VT7 32787
#define IDM_RESET_VT8 32788
#define IDM_RESET_VT9 32789
#define IDM_DEBUG_LOGGING 32790

// Position of the Debug popup in the menu bar (it holds the On, Hide and Logging marks).
#define DEBUG_MENU_POSITION 1

// String table.
#define IDS_CAPTION 103 /* formatted with the device number */
#define IDS_CLASS_NAME 107
#define IDS_SETTINGS_SECTION 110

// The status panel, a child dialog at the top of the main window.
#define IDD_STATUS_PANEL 130
#define IDC_INFODRIVER_RX 2006
#define IDC_INFODRIVER_TX 2007
#define IDC_COMMS_BASE 2100     /* + VT number */
#define IDC_TRANSPORT_BASE 2200 /* + VT number */
#define IDC_LAST_CMD_BASE 2300  /* + VT number */
#define IDC_TX_COUNT_BASE 2400  /* + VT number */
#define IDC_RX_COUNT_BASE 2500  /* + VT number */

// The trace list, a child of the main window below the panel.
#define IDC_TRACE_LIST 100

// The About box.
#define IDD_ABOUT 103
#define IDC_ABOUT_ICON 2
#define IDC_ABOUT_VERSION 1000
#define IDC_ABOUT_BUILD 1001
#define IDC_ABOUT_CONTROLLER 1002 /* "Korvel Controller", with "(Simulation)" when so set */

// The version of the program, in its version resource: KORVEL_VERSION_NUMBERS and
// KORVEL_VERSION_TEXT, made by the build from the file VERSION. Only the resource compiler
// needs them, so that the tools and tests that take the ids from here need no build output.
#ifdef RC_INVOKED
#include "korvel_version.h"
#endif
