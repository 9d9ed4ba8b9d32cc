#include "tolvik/datalog/CDataLog.h"

#include <algorithm>
#include <cstdint>

#include "tolvik/resources/Resources.h"

namespace tolvik {

namespace {

constexpr double kMinLogInterval = 0.1;  // seconds

// Month 1-12 to its three-letter name; anything else reads as January.
const wchar_t* MonthAbbreviation(int nMonth) {
    static constexpr const wchar_t* kMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                                 L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
    return (nMonth >= 2 && nMonth <= 12) ? kMonths[nMonth - 1] : kMonths[0];
}

// The path without the extension of its file name: the name is cut before its first "." (a dot
// that begins the name does not count). Dots in folder names stay: "/tmp/my.logs/run" is kept.
CString WithoutExtension(const CString& strPath) {
    const int nameStart = std::max(strPath.ReverseFind(L'/'), strPath.ReverseFind(L'\\')) + 1;
    const int dot = strPath.Find(L'.', nameStart + 1);
    return dot >= 0 ? strPath.Left(dot) : strPath;
}

}  // namespace

CDataLog::CDataLog(CWnd* pWnd) : m_pParentWnd(pWnd), m_TimeMark(CTime::GetCurrentTime()) {}

CDataLog::~CDataLog() = default;

void CDataLog::SetPort(int nPort) { m_strPort = nPort == 2 ? L"COM2" : L"COM1"; }

bool CDataLog::SetFilename(const CString& strName) {
    m_strFilename = WithoutExtension(strName) + GetFileExtension();
    return true;
}

bool CDataLog::SetDefaultFilename(const CString& strBase) {
    m_strBaseFilename = strBase;
    m_strFilename = GenerateDefaultFilename(m_strBaseFilename);
    return true;
}

CString CDataLog::GenerateDefaultFilename(const CString& strBase) const {
    const std::tm now = CTime::GetCurrentTime().GetLocalTm();
    const CString stamp = CString::Formatted(L"_%d%s_%dh%dm%ds", now.tm_mday, MonthAbbreviation(now.tm_mon + 1),
                                             now.tm_hour, now.tm_min, now.tm_sec);
    return WithoutExtension(strBase) + stamp + GetFileExtension();
}

void CDataLog::SetTimeMark() { m_TimeMark = CTime::GetCurrentTime(); }

int CDataLog::GetMinutesElapsed() const {
    // Unsigned on purpose: a clock set back gives a large difference, still reduced to one day.
    const auto d = static_cast<std::uint32_t>(CTime::GetCurrentTime() - m_TimeMark);
    return static_cast<int>(d / 60 - (d / 86400) * 1440);
}

bool CDataLog::IsReady() const { return !m_strFilename.IsEmpty() && m_dLogInterval >= kMinLogInterval && m_bEnabled; }

CString CDataLog::GetStatusString() const {
    const int nMinutes = GetMinutesElapsed();
    const int nEpochs = GetNumEpochs();
    const CString format = LoadResString(IDS_DATALOG_STATUS);
    return format.IsEmpty() ? CString() : CString::Formatted(format.GetString(), nEpochs, nMinutes);
}

}  // namespace tolvik
