// Records what command operations send and how they pace it.
//
// A simulated receiver stands in for a port number, and the clock seam is a virtual clock that
// also writes "[N]" into the same line whenever a thread sleeps N milliseconds. What the
// simulator receives is therefore the exact transcript of an operation: every command in order
// with every pause where it fell, e.g. "$PASHQ,PAR\r\n[500]". A 23-second reset sequence takes a
// few milliseconds.
#pragma once

#include <memory>
#include <string>

#include "sim/SimulatedReceiver.h"
#include "tolvik/platform/Clock.h"

namespace tolvik::test {

class CommandTrace {
public:
    // Maps port nPort to the simulator and installs the clock until destruction.
    explicit CommandTrace(int nPort = 1, bool answerCommands = false);
    ~CommandTrace();
    CommandTrace(const CommandTrace&) = delete;
    CommandTrace& operator=(const CommandTrace&) = delete;

    // Everything sent and slept since the last Take (or since construction).
    std::string Take();

    platform::VirtualClock& Clock() { return m_clock; }
    sim::SimulatedReceiver& Receiver() { return m_receiver; }
    int Port() const { return m_nPort; }

private:
    class MarkingClock;
    int m_nPort;
    platform::VirtualClock m_clock;
    sim::SimulatedReceiver m_receiver;
    int m_markFd = -1;
    std::unique_ptr<MarkingClock> m_marking;
    std::unique_ptr<platform::ScopedClock> m_guard;
    int m_nTakes = 0;
};

}  // namespace tolvik::test
