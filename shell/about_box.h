#pragma once

#include <windows.h>

namespace korvel::shell {

// The modal About box: the controller line, the file version and the build stamp.
// Returns the id of the button that closed it (1 OK, 2 Cancel or Escape), -1 on failure.
INT_PTR showAboutBox(HINSTANCE instance, HWND owner, bool simulation);

// The About box's dialog procedure; its creation parameter is non-zero in simulation.
INT_PTR CALLBACK aboutBoxProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// "Korvel Controller", or "Korvel Controller (Simulation)" when the setting says so.
const char* controllerText(bool simulation);

}  // namespace korvel::shell
