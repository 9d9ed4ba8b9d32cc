// CRawEpochLog: the tool's raw-data logger, a text file of raw measurement epochs and
// ephemerides for post-processing (format described in the README, "Raw epoch log").
#pragma once

#include <cstdio>
#include <string>

#include "tolvik/datalog/CDataLog.h"

namespace tolvik::tool {

class CRawEpochLog : public CDataLog {
public:
    static constexpr const wchar_t* kExtension = L".tvr";

    CRawEpochLog() : CDataLog(nullptr) {}
    ~CRawEpochLog() override;

    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return m_pFile != nullptr; }
    CString GetFileExtension() const override { return kExtension; }
    bool LogEpoch(const CGPSDataRaw& epoch) override;
    bool LogEphemeris(const CGPSDataEphemeris& ephemeris) override;
    int GetNumEpochs() const override { return m_nEpochs; }
    // The first failure ("<file>: <reason>"), empty while none; after a failed write nothing more
    // is written.
    const std::string& GetErrorText() const { return m_strError; }

private:
    bool Written(bool ok);  // keeps the first write failure
    std::FILE* m_pFile = nullptr;
    std::string m_strError;
    int m_nEpochs = 0;
    double m_dLastEpochTime = -1.0;  // receiver time of the last epoch written
    int m_nLastEpochWeek = 0;
};

}  // namespace tolvik::tool
