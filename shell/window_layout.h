#pragma once

namespace korvel::shell {

struct PixelSize {
    int width = 0;
    int height = 0;
};

// The main window's outer sizes and where the trace list goes, in pixels. The same width
// serves both views; only the height changes when the debug view opens or closes.
struct MainWindowLayout {
    int width = 0;            // the window, frame included
    int openHeight = 0;       // the window with the debug view open
    int closedHeight = 0;     // the window with the panel alone
    int panelHeight = 0;      // the panel's client height + 2: where the trace list begins
    int clientWidth = 0;      // the width of the panel row and of the trace list
    int traceListHeight = 0;  // the trace list's height while the view is open
};

// The smallest window: what fits on the oldest screens the driver meets, and what it was
// before the panel's own size counted.
inline constexpr int kMinWindowWidth = 640;
inline constexpr int kMinOpenWindowHeight = 640;
// The trace needs room for a useful number of lines (about 18 at 13 px) below the panel.
inline constexpr int kMinTraceListHeight = 240;

// panel: the status panel's client size as the dialog manager made it from its dialog
// units and font (so it differs between systems); frame: how much the caption, menu bar and
// borders add to a client area, as AdjustWindowRectEx reports for the window's styles.
// The window is never narrower than the panel needs, nor narrower than 640; with the view
// closed it is exactly as tall as the panel; with the view open 640 tall, or taller if the
// panel and the trace's minimum do not fit. Negative sizes (a failed call) count as 0.
MainWindowLayout layOutMainWindow(PixelSize panel, PixelSize frame);

}  // namespace korvel::shell
