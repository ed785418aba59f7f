#pragma once

namespace korvel::engine {

// The main window's timer messages for the engine: 21 to 29 the transmit time-out of VT 1
// to 9, 31 to 39 their timecode timers, 40 the poll. Other ids do nothing; false for them.
bool handleTimer(int id);

// Transmit time-out of timer id 21 to 29: the VT's comms field shows the failure even
// when no such VT exists.
void transmitTimeout(int id);
// Timecode timer of id 31 to 39.
void timecodeTimer(int id);
// The 125 ms tick: visits the next VT of 1 to 9, so each once every 1125 ms.
void poll();
// The "Reset" menu's VT n: nothing at all when that VT is not configured.
void resetVt(int vtNumber);

}  // namespace korvel::engine
