#include "shell/counter_fields.h"

#include <cstdio>

#include "engine/device_list.h"

namespace korvel::shell {

void formatCounter(std::uint32_t value, char (&text)[kCounterTextSize]) {
    // Unsigned: a counter past 2^31 must not turn negative on the panel.
    std::snprintf(text, sizeof text, "%08u", static_cast<unsigned>(value));
}

void refreshCounterFields(engine::EngineHost& panel) {
    char text[kCounterTextSize];
    std::uint32_t infodriverTx = 0;
    std::uint32_t infodriverRx = 0;
    for (const auto& device : engine::engineState().devices) {
        formatCounter(device->txCount, text);
        panel.setPanelText(engine::kTxCountField, device->vtIndex, text);
        formatCounter(device->rxCount, text);
        panel.setPanelText(engine::kRxCountField, device->vtIndex, text);
        infodriverTx += device->infodriverTxCount;
        infodriverRx += device->infodriverRxCount;
    }
    formatCounter(infodriverTx, text);
    panel.setPanelText(engine::kInfodriverTxField, 0, text);
    formatCounter(infodriverRx, text);
    panel.setPanelText(engine::kInfodriverRxField, 0, text);
}

}  // namespace korvel::shell
