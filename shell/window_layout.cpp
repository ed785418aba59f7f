#include "shell/window_layout.h"

#include <algorithm>

namespace korvel::shell {

namespace {

// A gap of 2 px between the panel and the trace list.
constexpr int kPanelGap = 2;

}  // namespace

MainWindowLayout layOutMainWindow(PixelSize panel, PixelSize frame) {
    const int panelWidth = std::max(panel.width, 0);
    const int panelClientHeight = std::max(panel.height, 0);
    const int frameWidth = std::max(frame.width, 0);
    const int frameHeight = std::max(frame.height, 0);

    MainWindowLayout layout;
    layout.width = std::max(kMinWindowWidth, panelWidth + frameWidth);
    layout.clientWidth = layout.width - frameWidth;
    layout.panelHeight = panelClientHeight + kPanelGap;
    layout.closedHeight = layout.panelHeight + frameHeight;
    layout.openHeight = std::max(kMinOpenWindowHeight, layout.closedHeight + kMinTraceListHeight);
    layout.traceListHeight = layout.openHeight - layout.closedHeight;
    return layout;
}

}  // namespace korvel::shell
