#include "shell/window_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace korvel::shell {
namespace {

// Any panel and frame: the client area holds the whole panel in both views, the trace its
// minimum, and the window keeps 640 wherever that is enough.
TEST(WindowLayout, RandomPanelsAndFramesAlwaysFitAndStayAt640WhereTheyCan) {
    std::mt19937 random(20);
    std::uniform_int_distribution<int> size(-20, 1400);
    std::uniform_int_distribution<int> border(-5, 120);
    for (int i = 0; i < 100000; ++i) {
        const PixelSize panel{size(random), size(random)};
        const PixelSize frame{border(random), border(random)};
        const MainWindowLayout l = layOutMainWindow(panel, frame);
        const int panelWidth = std::max(panel.width, 0), panelHeight = std::max(panel.height, 0);
        const int frameWidth = std::max(frame.width, 0), frameHeight = std::max(frame.height, 0);
        SCOPED_TRACE(testing::Message() << "panel " << panel.width << "x" << panel.height
                                        << " frame " << frame.width << "x" << frame.height);

        ASSERT_EQ(l.clientWidth, l.width - frameWidth);
        ASSERT_GE(l.clientWidth, panelWidth);
        ASSERT_EQ(l.width, std::max(640, panelWidth + frameWidth));

        ASSERT_EQ(l.panelHeight, panelHeight + 2);
        ASSERT_EQ(l.closedHeight - frameHeight, l.panelHeight);
        ASSERT_EQ(l.openHeight - frameHeight, l.panelHeight + l.traceListHeight);
        ASSERT_GE(l.traceListHeight, kMinTraceListHeight);
        ASSERT_GE(l.openHeight, 640);
        if (l.openHeight > 640) {
            ASSERT_EQ(l.traceListHeight, kMinTraceListHeight);
        }
    }
}

}  // namespace
}  // namespace korvel::shell
