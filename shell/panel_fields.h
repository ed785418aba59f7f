#pragma once

#include "engine/engine_host.h"
#include "shell/resource.h"

namespace korvel::shell {

// The status-panel control that shows a field of VT vtNumber (or of the whole program).
constexpr int panelControlId(engine::PanelField field, int vtNumber) {
    switch (field) {
        case engine::kCommsField:
            return IDC_COMMS_BASE + vtNumber;
        case engine::kTransportField:
            return IDC_TRANSPORT_BASE + vtNumber;
        case engine::kLastCommandField:
            return IDC_LAST_CMD_BASE + vtNumber;
        case engine::kTxCountField:
            return IDC_TX_COUNT_BASE + vtNumber;
        case engine::kRxCountField:
            return IDC_RX_COUNT_BASE + vtNumber;
        case engine::kInfodriverTxField:
            return IDC_INFODRIVER_TX;
        case engine::kInfodriverRxField:
            return IDC_INFODRIVER_RX;
    }
    return 0;
}

}  // namespace korvel::shell
