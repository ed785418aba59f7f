#pragma once

// A test-only window that our VRAXIF32.dll creates inside the driver's process, so that
// tools outside it can read the main window's menu marks (under wine one process cannot read
// another's menu). It is a hidden top-level window of class kMenuReaderClass; sent the
// registered message kMenuStateMessage with wParam a menu command id, it answers the
// GetMenuState flags of that item in the menu of the process's "CLASS_KORVEL" window, or
// kNoMenuState when there is no such window or item.
#ifdef _WIN32
#include <windows.h>

namespace korvel::sim {

inline constexpr const char* kMenuReaderClass = "KorvelTestMenuReader";
inline constexpr const char* kMenuStateMessage = "KorvelTestMenuState";
inline constexpr const char* kDriverWindowClass = "CLASS_KORVEL";
inline constexpr LRESULT kNoMenuState = -1;

// Creates the reader on the calling thread once per process; later calls do nothing. The
// library calls it from its entry points, which the driver calls on its main thread.
void ensureMenuReader();

}  // namespace korvel::sim
#endif
