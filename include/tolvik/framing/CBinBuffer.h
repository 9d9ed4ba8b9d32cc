// CBinBuffer: accumulates the receiver's byte stream and cuts it into messages.
//
// A serial read ends anywhere, and the stream mixes text sentences ('$' NMEA and proprietary
// sentences, '#' command-log replies) with binary records. The buffer finds the start of each
// message, decides from its first bytes whether it is text or a known binary record, and knows
// its length:
//
//   '$' text            up to and including the first CR; a LF right after it is skipped when
//                       moving on (any other byte there is the start of what follows)
//   '#' log reply       up to the first CR, or up to the byte before the next '#'
//   "$PASHR,MBN,..."    fixed lengths by second field: MBN 54, MCA 49, PBN 68, SAL 82, SNV 144
//   "$BIN"              block byte 95: 140 bytes, 96: 312 bytes
//   AA 44 12 ...        header length (byte 3) + body length (LE 16 at bytes 8-9) + 4 CRC bytes
//
// Incomplete messages wait at the front of the buffer for more bytes; so does a '$' text whose
// second comma has not arrived yet (a single-comma reply such as "$PASHR,ACK*3D" is framed only
// once a later comma is in the buffer). Bytes that cannot start a message are dropped.
//
// Framing does not depend on how the stream is cut into appends: a sync prefix (AA, or AA 44) at
// the very end is kept until the next bytes decide it, a LF that arrives only with the next read
// is dropped by the scan, and the tags of a message never come from commas after
// its own end (a comma-less line is framed as text whatever follows it).
#pragma once

#include "tolvik/platform/CString.h"
#include "tolvik/platform/Collections.h"

namespace tolvik {

class CBinBuffer : public CByteArray {
public:
    // The most bytes a stream's buffer keeps waiting for a message to complete: the engine
    // empties its buffer (an overflow) when it reaches this size, and text lines longer than it
    // are cut (CTextFile), since they could never be framed.
    static constexpr int kMaxLength = 16392;

    CBinBuffer() = default;
    CBinBuffer(const char* pData, int nCount);
    explicit CBinBuffer(const CString& str);  // one byte per character (its low 8 bits)

    // Becomes a copy of the bytes, positioned at the start, with nMsgLength as the current
    // message length. False (and empty) for no bytes.
    bool Set(const char* pData, int nCount, int nMsgLength);
    void Clear();
    // Appends the other buffer's bytes; framing continues where it stopped.
    const CBinBuffer& operator+=(const CBinBuffer& other);
    void Append(const char* pData, int nCount);

    int GetLength() const { return m_nLength; }
    int GetCapacity() const { return CByteArray::GetCapacity(); }  // bytes of storage held
    bool HasMessage() const { return m_nMsgLength > 0; }
    int Find(char c, int nStart) const;

    bool First();
    bool Next();
    bool GetCurrentMessage();
    bool GetTag(CString& strTag1, CString& strTag2);

    // Text of the current message: its bytes up to the first zero byte, then "\n".
    CString GetMessage() const;
    CString* GetMessageAsPtr() const;  // a new string the caller deletes
    // GetMessage into a string the caller keeps from message to message (its storage reused).
    void GetMessageInto(CString& text) const;
    CString Mid(int nStart, int nCount) const;
    CString* Mid2(int nStart, int nCount) const;
    // The current message's bytes and length; null (nLength untouched) when there is none.
    const char* GetMessageBin(int& nLength) const;

    // Drops the consumed bytes before the current position.
    void Resize();

    int m_nCurrent = 0;    // first byte of the current message, or next byte to scan
    int m_nMsgLength = 0;  // length of the current message; 0 when there is none
    int m_nLength = 0;     // valid bytes; always equal to the array size

    // The tag that stands for a self-describing AA 44 12 record; never comes from the data.
    static constexpr std::string_view kAxis4Tag = "Axis4OEMBinaryTagPlaceHolder";

private:
    // GetTag's work on the bytes: views into the buffer (kAxis4Tag for an AA 44 12 record).
    bool FindTag(std::string_view& tag1, std::string_view& tag2);
    void MidInto(int nStart, int nCount, CString& text) const;
    bool IsBinaryTag(std::string_view tag1, std::string_view tag2, int& nLength) const;
    std::string_view Bytes(int nStart, int nCount) const {
        return {reinterpret_cast<const char*>(GetData() + nStart), static_cast<std::size_t>(nCount)};
    }
    const char* GetPtr(int nIndex) const;
    // True when byte c occurs in [nFrom, nTo).
    bool HasByteIn(int nFrom, int nTo, char c) const;
    BYTE At(int nIndex) const { return (*this)[nIndex]; }
};

}  // namespace tolvik
