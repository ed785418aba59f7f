#pragma once

// A test-only window that our VRAXIF32.dll creates inside the driver's process, so that
// tools outside it can read what wine does not let another process read: the main window's
// menu marks, and the lines of its trace list. It is a hidden top-level window of class
// kTestReaderClass, answering two registered messages:
//
// - kMenuStateMessage, wParam a menu command id: the GetMenuState flags of that item in the
//   menu of the process's "CLASS_KORVEL" window, or kNotAnswered.
// - kTraceLinesMessage, wParam the asker's window: sends it one WM_COPYDATA per line of the
//   trace list (control 100), dwData the line's index, the text without its terminator;
//   answers the number of lines, or kNotAnswered without a driver window or list.
#ifdef _WIN32
#include <windows.h>

namespace korvel::sim {

inline constexpr const char* kTestReaderClass = "KorvelTestReader";
inline constexpr const char* kMenuStateMessage = "KorvelTestMenuState";
inline constexpr const char* kTraceLinesMessage = "KorvelTestTraceLines";
inline constexpr const char* kDriverWindowClass = "CLASS_KORVEL";
inline constexpr int kTraceListId = 100;
inline constexpr LRESULT kNotAnswered = -1;

// Creates the reader on the calling thread once per process; later calls do nothing. The
// library calls it from its entry points, which the driver calls on its main thread.
void ensureTestReader();

}  // namespace korvel::sim
#endif
