#include "tolvik/framing/CBinBuffer.h"

#include <algorithm>
#include <cstring>

#include "tolvik/records/GPSDataRaw.h"

namespace tolvik {

namespace {

constexpr BYTE kSync0 = 0xAA;
constexpr BYTE kSync1 = 0x44;
constexpr BYTE kSync2 = 0x12;
constexpr int kAxis4HeaderBytes = 28;

struct FixedRecord {
    std::string_view tag;  // second comma-separated field, upper case
    int length;            // bytes from the '$' to the end of the record
};
constexpr FixedRecord kFixedRecords[] = {
    {"MBN", pashr::kMbnFramedBytes}, {"MCA", 49}, {"PBN", pashr::kPbnFramedBytes}, {"SAL", 82},
    {"SNV", pashr::kSnvFramedBytes},
};

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Case-insensitive for ASCII letters only, as CString::CompareNoCase compares.
bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}
constexpr int kBinBlock95Length = 140;
constexpr int kBinBlock96Length = 312;

}  // namespace

CBinBuffer::CBinBuffer(const char* pData, int nCount) { Set(pData, nCount, 0); }

CBinBuffer::CBinBuffer(const CString& str) {
    const int n = str.GetLength();
    SetSize(n);
    for (int i = 0; i < n; ++i) (*this)[i] = static_cast<BYTE>(str[i] & 0xFF);
    m_nLength = n;
}

bool CBinBuffer::Set(const char* pData, int nCount, int nMsgLength) {
    if (nCount <= 0 || !pData) {
        Clear();
        return false;
    }
    SetSize(nCount);
    std::memcpy(GetData(), pData, static_cast<std::size_t>(nCount));
    m_nCurrent = 0;
    m_nLength = nCount;
    // A message never reaches past the bytes: GetMessageBin hands its length to the caller.
    m_nMsgLength = std::min(nMsgLength, nCount);
    return true;
}

void CBinBuffer::Clear() {
    // Storage grown by one huge append is given back; ordinary storage is kept for the next read.
    if (GetCapacity() > kMaxLength) {
        FreeAll();
    } else {
        RemoveAll();
    }
    m_nCurrent = m_nMsgLength = m_nLength = 0;
}

const CBinBuffer& CBinBuffer::operator+=(const CBinBuffer& other) {
    if (other.m_nLength > 0) {
        CByteArray::Append(other.GetData(), other.m_nLength);
        m_nLength = GetSize();
    }
    return *this;
}

void CBinBuffer::Append(const char* pData, int nCount) {
    if (pData && nCount > 0) {
        CByteArray::Append(reinterpret_cast<const BYTE*>(pData), nCount);
        m_nLength = GetSize();
    }
}

int CBinBuffer::Find(char c, int nStart) const {
    if (nStart < 0) nStart = 0;
    if (nStart >= m_nLength) return -1;
    const void* hit =
        std::memchr(GetData() + nStart, static_cast<unsigned char>(c), static_cast<std::size_t>(m_nLength - nStart));
    return hit ? static_cast<int>(static_cast<const BYTE*>(hit) - GetData()) : -1;
}

bool CBinBuffer::HasByteIn(int nFrom, int nTo, char c) const {
    if (nFrom >= nTo) return false;
    const auto count = static_cast<std::size_t>(nTo - nFrom);
    return std::memchr(GetData() + nFrom, static_cast<unsigned char>(c), count) != nullptr;
}

bool CBinBuffer::First() {
    m_nCurrent = 0;
    m_nMsgLength = 0;
    return GetCurrentMessage();
}

bool CBinBuffer::Next() {
    // Without a framed message there is nothing to move past: the bytes at the current position
    // are the start of an incomplete message and must stay.
    if (HasMessage() && m_nCurrent < m_nLength) {
        const bool exact = At(m_nCurrent) == '#' || (At(m_nCurrent) == kSync0 && m_nCurrent + 2 < m_nLength &&
                                                     At(m_nCurrent + 1) == kSync1 && At(m_nCurrent + 2) == kSync2);
        m_nCurrent += m_nMsgLength;
        // The LF after a sentence's CR goes with it. Only a LF: a "$BIN" block ends with its own
        // CR LF, and the byte after it is already the next message. (A LF that arrives with the
        // next read is dropped by the scan for a message start all the same.)
        if (!exact && m_nCurrent < m_nLength && At(m_nCurrent) == '\n') ++m_nCurrent;
    }
    return GetCurrentMessage();
}

bool CBinBuffer::GetTag(CString& strTag1, CString& strTag2) {
    std::string_view tag1;
    std::string_view tag2;
    if (!FindTag(tag1, tag2)) return false;
    strTag1 = CString::FromBytes(tag1);
    strTag2 = CString::FromBytes(tag2);
    return true;
}

// The tags are read as byte views into the buffer: framing runs once per message, and the
// characters' way would build two strings each time.
bool CBinBuffer::FindTag(std::string_view& tag1, std::string_view& tag2) {
    if (m_nCurrent >= m_nLength) return false;

    // Scan for a message start; everything passed over is consumed.
    while (m_nCurrent < m_nLength) {
        const BYTE b = At(m_nCurrent);
        if (b == '$' || b == '#') break;
        if (b == kSync0) {
            if (m_nCurrent + 2 < m_nLength) {
                if (At(m_nCurrent + 1) == kSync1 && At(m_nCurrent + 2) == kSync2) break;
            } else if (m_nCurrent + 1 == m_nLength || At(m_nCurrent + 1) == kSync1) {
                // AA or AA 44 at the very end may begin a sync: wait for the next bytes.
                return false;
            }
        }
        ++m_nCurrent;
    }
    if (m_nCurrent >= m_nLength) return false;

    const int start = m_nCurrent;
    if (At(start) == kSync0) {
        if (start + kAxis4HeaderBytes >= m_nLength) return false;
        const int total = At(start + 3) + (At(start + 8) | (At(start + 9) << 8)) + 4;
        if (total > m_nLength - start) return false;
        m_nMsgLength = total;
        tag1 = kAxis4Tag;
        tag2 = {};
        return true;
    }

    int c1 = Find(',', start);
    // A comma after the message's own end (its CR, or the next '#' of a log reply) is no tag
    // separator of this message: a comma-less line such as "#comment\r\n" followed by
    // "$PASHR,MBN,..." would otherwise borrow that record's tags and swallow its first bytes, and
    // would do so only when both happened to arrive in the same read.
    const bool pastEnd = HasByteIn(start, c1, '\r') || (At(start) == '#' && HasByteIn(start + 1, c1, '#'));
    if (c1 >= 0 && pastEnd) c1 = -1;
    const bool isBin = start + 3 < m_nLength && At(start + 1) == 'B' && At(start + 2) == 'I' && At(start + 3) == 'N';
    if (c1 >= 0 && !isBin) {
        const int c2 = Find(',', c1 + 1);
        if (c2 < 0) return false;
        tag1 = Bytes(start, c1 - start);
        tag2 = Bytes(c1 + 1, c2 - c1 - 1);
        return true;
    }
    if (m_nLength - start < 5) return false;
    tag1 = Bytes(start, 4);
    tag2 = {};
    return true;
}

bool CBinBuffer::IsBinaryTag(std::string_view tag1, std::string_view tag2, int& nLength) const {
    nLength = 0;
    for (const auto& rec : kFixedRecords) {
        if (EqualNoCase(tag2, rec.tag)) {
            nLength = rec.length;
            return true;
        }
    }
    if (tag1.starts_with("$BIN")) {
        const BYTE block = At(m_nCurrent + 4);
        if (block == 95) {
            nLength = kBinBlock95Length;
            return true;
        }
        if (block == 96) {
            nLength = kBinBlock96Length;
            return true;
        }
        return false;
    }
    if (tag1.starts_with(kAxis4Tag)) {
        nLength = m_nMsgLength;
        return true;
    }
    return false;
}

bool CBinBuffer::GetCurrentMessage() {
    m_nMsgLength = 0;
    std::string_view tag1;
    std::string_view tag2;
    if (!FindTag(tag1, tag2)) return false;

    int binaryLength = 0;
    if (IsBinaryTag(tag1, tag2, binaryLength)) {
        if (binaryLength > m_nLength - m_nCurrent) {
            m_nMsgLength = 0;
            return false;
        }
        m_nMsgLength = binaryLength;
        return true;
    }

    int end = Find('\r', m_nCurrent);
    if (At(m_nCurrent) == '#') {
        // A reply without line end stops just before the next reply's '#' (even when that '#' is
        // the second byte of the buffer).
        const int nextHash = Find('#', m_nCurrent + 1);
        if (nextHash >= 0 && (end == -1 || nextHash - 1 < end)) end = nextHash - 1;
    }
    if (end < 0) return false;
    m_nMsgLength = end - m_nCurrent + 1;
    return true;
}

void CBinBuffer::MidInto(int nStart, int nCount, CString& text) const {
    if (nStart < 0 || nStart >= m_nLength) {
        text.Empty();
        return;
    }
    const int available = m_nLength - nStart;
    if (nCount < 1 || nCount > available) nCount = available;
    const BYTE* p = GetData() + nStart;
    const void* zero = std::memchr(p, 0, static_cast<std::size_t>(nCount));
    if (zero) nCount = static_cast<int>(static_cast<const BYTE*>(zero) - p);
    text.AssignBytes(reinterpret_cast<const char*>(p), nCount);
    text += L'\n';
}

CString CBinBuffer::Mid(int nStart, int nCount) const {
    CString text;
    MidInto(nStart, nCount, text);
    return text;
}

CString* CBinBuffer::Mid2(int nStart, int nCount) const { return new CString(Mid(nStart, nCount)); }

CString CBinBuffer::GetMessage() const { return HasMessage() ? Mid(m_nCurrent, m_nMsgLength) : CString(); }

CString* CBinBuffer::GetMessageAsPtr() const { return new CString(GetMessage()); }

void CBinBuffer::GetMessageInto(CString& text) const {
    if (HasMessage()) {
        MidInto(m_nCurrent, m_nMsgLength, text);
    } else {
        text.Empty();
    }
}

const char* CBinBuffer::GetPtr(int nIndex) const {
    if (nIndex < 0 || nIndex >= m_nLength) return nullptr;
    return reinterpret_cast<const char*>(GetData() + nIndex);
}

const char* CBinBuffer::GetMessageBin(int& nLength) const {
    if (!HasMessage()) return nullptr;
    const char* p = GetPtr(m_nCurrent);
    if (p) nLength = m_nMsgLength;
    return p;
}

void CBinBuffer::Resize() {
    if (m_nLength <= 0 || m_nCurrent <= 0) return;
    if (m_nCurrent >= m_nLength) {
        Clear();
        return;
    }
    RemoveAt(0, m_nCurrent);
    m_nLength = GetSize();
    m_nCurrent = 0;
    m_nMsgLength = 0;
}

}  // namespace tolvik
