// --rinex BASE for replay and monitor: the raw epochs and ephemerides of the run as RINEX files
// BASE.obs and BASE.nav (CRinexLog), at the --log-interval of the raw epoch log.
#pragma once

#include <string>

#include "tolvik/datalog/CRinexLog.h"
#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik::tool {

class RinexOutput {
public:
    // Opens the files when base is not empty. False after reporting on stderr which file cannot
    // be created and why. UsageError for an interval below 0.1 s.
    bool Open(const std::string& base, double interval, double antennaHeight, CGPSReceiver& receiver);
    // The logger for the host to feed; null when no RINEX output was asked for.
    CDataLog* Log() { return m_bActive ? &m_log : nullptr; }
    // Closes the files and reports on stderr how many epochs and ephemerides went out. False
    // after reporting a write error.
    bool Finish();

private:
    CRinexLog m_log;
    bool m_bActive = false;
};

}  // namespace tolvik::tool
