// Pieces shared by the receiver models' command sets.
//
// Every command goes to the shared port whole, in one write, and is followed by a fixed pause
// that gives the receiver time to act on it before the next one; an operation therefore reads as
// the list of commands it sends.
#pragma once

#include <span>

#include "tolvik/platform/Clock.h"
#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

// Writes the command (already ending in "\r\n") and pauses pauseMs; the write's result is not
// examined: a receiver that missed a command shows it in its next status reply.
inline void WriteCommand(const CString& strCommand, DWORD pauseMs) {
    CGPSReceiver::m_Port.Write(strCommand);
    if (pauseMs > 0) platform::Sleep(pauseMs);
}

// One command of a list and the pause after it.
struct CommandStep {
    const wchar_t* command;
    DWORD pauseMs;
};

// Sends a model's command list in order, each command followed by its own pause.
inline void SendSteps(std::span<const CommandStep> steps) {
    for (const CommandStep& step : steps) WriteCommand(step.command, step.pauseMs);
}

// Sends a command list whose commands all take the same pause.
inline void SendSteps(std::span<const wchar_t* const> commands, DWORD pauseMs) {
    for (const wchar_t* command : commands) WriteCommand(command, pauseMs);
}

// The "$GPMSK" beacon set-up of the Ashtech family and the "$J" receivers: mode 0 lets the
// beacon receiver search; otherwise the frequency is set manually and the bit rate manually when
// one is given. Sent only when the port is open; then 200 ms. True when it was sent.
bool SendBeaconCommand(BEACON_MODE_TYPE eMode, const CString& strFrequency, const CString& strBitRate);

}  // namespace tolvik
