#include "infodriver/infodriver_state.h"

namespace korvel::infodriver {

InfodriverState& infodriverState() {
    static InfodriverState state;
    return state;
}

InfodriverTransport& currentTransport() {
    InfodriverTransport* chosen = infodriverState().transport;
    return chosen != nullptr ? *chosen : platformTransport();
}

}  // namespace korvel::infodriver
