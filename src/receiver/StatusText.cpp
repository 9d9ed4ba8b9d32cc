// The alternate fix-status map: a text file "GPSStatus" beside the host program that assigns fix
// status codes to GGA quality numbers, for receivers whose quality numbers mean something else
// than the usual ones.
//
//     4,UDF_SIGNAL_RTK_FLOAT
//     5,"UDF_SIGNAL_RTK_FIXED"
//
// Each line is a quality number, a comma and a status name. Lines that cannot be read are
// skipped; the file never has to be complete, qualities without a line keep the fixed tables.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "tolvik/framing/CTextFile.h"
#include "tolvik/platform/Host.h"
#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

namespace {

constexpr const wchar_t* kStatusFileName = L"GPSStatus";
constexpr const wchar_t* kDefaultKey = L"default";
// The bytes EF BB BF as the text reader gives them, one character per byte.
constexpr const wchar_t* kUtf8ByteOrderMark = L"\u00EF\u00BB\u00BF";

bool IsWhiteSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// A decimal number at the start of the text, the way the C library's strtol reads it: leading
// white space and a sign, digits up to the first other character, the rest ignored. Fails
// without digits, and on the 32-bit limits, which are also what an out-of-range number clamps
// to: they cannot tell a real quality from an overflow.
bool ReadQualityNumber(const CString& strText, int& nValue) {
    const int nLength = strText.GetLength();
    int i = 0;
    while (i < nLength && IsWhiteSpace(strText.GetAt(i))) ++i;
    bool bNegative = false;
    if (i < nLength && (strText.GetAt(i) == L'+' || strText.GetAt(i) == L'-')) {
        bNegative = strText.GetAt(i) == L'-';
        ++i;
    }
    if (i >= nLength || !IsDigit(strText.GetAt(i))) return false;
    constexpr std::int64_t kBeyondRange = std::int64_t{INT_MAX} + 1;
    std::int64_t nMagnitude = 0;
    for (; i < nLength && IsDigit(strText.GetAt(i)); ++i) {
        nMagnitude = std::min(nMagnitude * 10 + (strText.GetAt(i) - L'0'), kBeyondRange);
    }
    const std::int64_t nSigned = bNegative ? -nMagnitude : nMagnitude;
    if (nSigned >= INT_MAX || nSigned <= INT_MIN) return false;
    nValue = static_cast<int>(nSigned);
    return true;
}

// The status code whose keyword the text is, compared without regard to case; -1 for none.
int StatusCodeOfName(const CString& strName) {
    for (int nCode = 0; nCode < kFixStatusCount; ++nCode) {
        if (strName.CompareNoCase(FixStatusName(nCode)) == 0) return nCode;
    }
    return -1;
}

// The map file sits beside the executable; a program path without a folder means the current one.
CString StatusFilePath() {
    const CString strModule = AfxGetApp()->GetModuleFileName();
    const int nCut = std::max(strModule.ReverseFind(L'\\'), strModule.ReverseFind(L'/'));
    return strModule.Left(nCut + 1) + kStatusFileName;
}

}  // namespace

void CGPSReceiver::LoadAlternatGPSStatusStrings() {
    // The reader opens only regular files: a FIFO or a device named GPSStatus cannot hold up
    // start-up.
    CTextFile file(false, false);
    if (!file.Open(StatusFilePath(), 0)) return;

    // The file is read before the shared lock is taken: parsing waits only for the update.
    bool bAnyLine = false;
    std::vector<std::pair<int, int>> entries;  // quality, status code, in file order
    CString strLine;
    for (bool bFirst = true; file.ReadString(strLine); bFirst = false) {
        // An editor may have saved the file with a UTF-8 byte-order mark before the first line.
        if (bFirst && strLine.Left(3) == kUtf8ByteOrderMark) strLine = strLine.Mid(3);
        const int nComma = strLine.Find(L',');
        const CString strLeft = nComma >= 0 ? strLine.Left(nComma) : CString();
        CString strRight = nComma >= 0 ? strLine.Mid(nComma + 1) : strLine;
        strRight.Remove(L'"');
        strRight.Remove(L' ');
        strRight.Remove(L'\t');

        int nQuality = 0;
        const bool bNumber = ReadQualityNumber(strLeft, nQuality);
        if (!bNumber && strLeft.CompareNoCase(kDefaultKey) != 0) continue;
        bAnyLine = true;

        const int nCode = StatusCodeOfName(strRight);
        if (nCode < 0) continue;
        // A "default" line gives the code of every quality without a line of its own; it is
        // kept under a key no quality number can take, so it never hides an explicit entry.
        entries.emplace_back(bNumber ? nQuality : kStatusMapDefault, nCode);
    }
    file.Close();

    std::lock_guard lock(SharedStateLock());
    if (bAnyLine) m_bHasStatusMap = true;
    for (const auto& [nQuality, nCode] : entries) m_StatusStrings.SetAt(nQuality, nCode);
}

}  // namespace tolvik
