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
#include <mutex>
#include <utility>
#include <vector>

#include "replies/ReplyFields.h"
#include "tolvik/framing/CTextFile.h"
#include "tolvik/platform/Host.h"
#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

namespace {

constexpr const wchar_t* kStatusFileName = L"GPSStatus";
constexpr const wchar_t* kDefaultKey = L"default";
// The bytes EF BB BF as the text reader gives them, one character per byte.
constexpr const wchar_t* kUtf8ByteOrderMark = L"\u00EF\u00BB\u00BF";

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
        if (bFirst && strLine.StartsWith(kUtf8ByteOrderMark)) strLine = strLine.Mid(3);
        const int nComma = strLine.Find(L',');
        const CString strLeft = nComma >= 0 ? strLine.Left(nComma) : CString();
        CString strRight = nComma >= 0 ? strLine.Mid(nComma + 1) : strLine;
        strRight.Remove(L'"');
        strRight.Remove(L' ');
        strRight.Remove(L'\t');

        int nQuality = 0;
        const bool bNumber = replies::ReadInt32(strLeft.view(), nQuality);
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
