#include "RinexOutput.h"

#include <cstdio>

#include "Cli.h"

namespace tolvik::tool {

bool RinexOutput::Open(const std::string& base, double interval, double antennaHeight, CGPSReceiver& receiver) {
    if (base.empty()) return true;
    if (!(interval >= 0.1)) throw UsageError("--log-interval needs at least 0.1 seconds");
    m_log.SetFileBase(CString::FromBytes(base));
    m_log.SetLogInterval(interval);
    m_log.SetAntennaHeight(antennaHeight);
    m_log.SetProgram("tolvik " TOLVIK_VERSION);
    m_log.SetReceiverType(receiver.GetName().ToBytes());
    m_log.Enable(true);
    if (!m_log.Open()) {
        std::fprintf(stderr, "tolvik: cannot write RINEX file %s\n", m_log.GetLastErrorText().c_str());
        return false;
    }
    m_bActive = true;
    std::fprintf(stderr, "tolvik: writing RINEX to %s and %s\n", m_log.GetFilename().ToBytes().c_str(),
                 m_log.GetNavigationFilename().ToBytes().c_str());
    return true;
}

bool RinexOutput::Finish() {
    if (!m_bActive) return true;
    m_bActive = false;
    m_log.Close();
    std::fprintf(stderr, "tolvik: RINEX %d epochs to %s, %d ephemerides to %s\n", m_log.GetNumEpochs(),
                 m_log.GetFilename().ToBytes().c_str(), m_log.GetNumEphemerides(),
                 m_log.GetNavigationFilename().ToBytes().c_str());
    if (m_log.GetLastErrorText().empty()) return true;
    std::fprintf(stderr, "tolvik: RINEX output incomplete: %s\n", m_log.GetLastErrorText().c_str());
    return false;
}

}  // namespace tolvik::tool
