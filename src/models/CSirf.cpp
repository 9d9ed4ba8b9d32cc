#include "tolvik/models/CSirf.h"

#include <array>

#include "models/CommandSets.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CSirf, CObject)

bool AppendNmeaChecksum(CString& strText) {
    const int nDollar = strText.Find(L'$');
    if (nDollar < 0) return false;
    unsigned nSum = 0;
    for (int i = nDollar + 1; i < strText.GetLength(); ++i) {
        nSum ^= static_cast<unsigned>(strText[i]);
    }
    strText += CString::Formatted(L"*%02X", nSum & 0xFFu);
    return true;
}

CSirf::CSirf() = default;
CSirf::~CSirf() = default;

CString CSirf::GetName() { return L"SiRF"; }
bool CSirf::ImplementsSetNmea() { return true; }
bool CSirf::ImplementsResetAll() { return true; }
bool CSirf::HasDGPSSupport() const { return true; }
int CSirf::GetDefaultBaudrate() { return 4800; }

namespace {
// The receiver needs this long to change protocols or to act on a binary message.
constexpr DWORD kProtocolPauseMs = 3000;
}  // namespace

// ---- NMEA output: "$PSRF103,<sentence>,00,<rate>,01": mode 00 sets the rate, the rate is in
// seconds (0 switches the sentence off), 01 asks for checksums.

namespace {
enum SirfSentence { kGGA = 0, kGLL = 1, kGSA = 2, kGSV = 3, kRMC = 4, kVTG = 5 };
constexpr int kRateSeconds = 2;

struct SentenceRate {
    int nMsg;
    bool bOn;
};
constexpr SentenceRate kDefaultNmea[] = {{kGGA, true}, {kGSA, true},  {kVTG, true},
                                         {kGSV, true}, {kRMC, false}, {kGLL, false}};
constexpr SentenceRate kGgaOnlyNmea[] = {{kGGA, true},  {kGSA, false}, {kVTG, false},
                                         {kGSV, false}, {kRMC, false}, {kGLL, false}};
}  // namespace

void CSirf::SetNmeaMsg(int nMsg, bool bOn) {
    CString strSentence = CString::Formatted(L"$PSRF103,%02d,00,%02d,01", nMsg, bOn ? kRateSeconds : 0);
    AppendNmeaChecksum(strSentence);
    WriteCommand(strSentence + L"\r\n", 400);
}

void CSirf::SetDefaultNMEA() {
    if (!m_Port.IsOpen()) return;
    for (const SentenceRate& sentence : kDefaultNmea) SetNmeaMsg(sentence.nMsg, sentence.bOn);
}

void CSirf::SetGgaOnlyNMEA() {
    if (!m_Port.IsOpen()) return;
    for (const SentenceRate& sentence : kGgaOnlyNmea) SetNmeaMsg(sentence.nMsg, sentence.bOn);
}

void CSirf::SwitchToBinary() {
    // Protocol 0 (binary) at the current baud rate, 8 data bits, 1 stop bit, no parity.
    CString strSentence = CString::Formatted(L"$PSRF100,0,%0d,8,1,0", m_nBaudRate);
    AppendNmeaChecksum(strSentence);
    WriteCommand(strSentence + L"\r\n", kProtocolPauseMs);
}

// ---- Binary frame: A0 A2, payload length, payload, 15-bit checksum, B0 B3 (high byte first).

namespace {
constexpr unsigned char kStart[] = {0xA0, 0xA2};
constexpr unsigned char kEnd[] = {0xB0, 0xB3};

void WriteBE16(unsigned char* p, unsigned value) {
    p[0] = static_cast<unsigned char>((value >> 8) & 0xFFu);
    p[1] = static_cast<unsigned char>(value & 0xFFu);
}
}  // namespace

unsigned short CSirf::CheckSum(unsigned char* pData, unsigned short nLength) {
    if (!pData) return 0;
    unsigned nSum = 0;
    for (unsigned short i = 0; i < nLength; ++i) nSum += pData[i];
    return static_cast<unsigned short>(nSum & 0x7FFFu);
}

bool CSirf::SendBinaryMsg(unsigned char* pPayload, unsigned short nLength) {
    if ((!pPayload && nLength > 0) || nLength > kMaxPayloadBytes) return false;
    std::array<unsigned char, kMaxFrameBytes> frame{};
    unsigned char* p = frame.data();
    p[0] = kStart[0];
    p[1] = kStart[1];
    WriteBE16(p + 2, nLength);
    for (unsigned short i = 0; i < nLength; ++i) p[4 + i] = pPayload[i];
    WriteBE16(p + 4 + nLength, CheckSum(pPayload, nLength));
    p[6 + nLength] = kEnd[0];
    p[7 + nLength] = kEnd[1];
    return m_Port.WriteBinary(p, static_cast<WORD>(nLength + 8));
}

// ---- DGPS source, message 133: the source (1 WAAS, 0 none), then the beacon frequency (bytes 2
// to 5) and bit rate (byte 6), both left 0.

namespace {
constexpr unsigned char kDgpsSourceId = 0x85;
constexpr unsigned char kSourceNone = 0;
constexpr unsigned char kSourceWaas = 1;
}  // namespace

void CSirf::SendDgpsSourceMsg(DgpsMode eMode) {
    std::array<unsigned char, 7> payload{};
    payload[0] = kDgpsSourceId;
    payload[1] = eMode == DGPS_MODE_WAAS ? kSourceWaas : kSourceNone;
    SendBinaryMsg(payload.data(), static_cast<unsigned short>(payload.size()));
    platform::Sleep(kProtocolPauseMs);
}

// ---- Switch to NMEA, message 129: mode 2, ten rate and checksum pairs (bytes 2 to 21, all 0, so
// every NMEA output is off afterwards), the baud rate (bytes 22 and 23).

namespace {
constexpr unsigned char kSwitchToNmeaId = 0x81;
constexpr unsigned char kSwitchToNmeaMode = 2;
constexpr std::size_t kSwitchToNmeaBaudOffset = 22;
}  // namespace

void CSirf::SwitchToNmea() {
    std::array<unsigned char, 24> payload{};
    payload[0] = kSwitchToNmeaId;
    payload[1] = kSwitchToNmeaMode;
    // Only 16 bits: rates up to 57600 fit, 115200 goes out as 0xC200.
    const unsigned nBaud16 = static_cast<unsigned>(m_nBaudRate) & 0xFFFFu;
    WriteBE16(payload.data() + kSwitchToNmeaBaudOffset, nBaud16);
    SendBinaryMsg(payload.data(), static_cast<unsigned short>(payload.size()));
    platform::Sleep(kProtocolPauseMs);
}

// ---- Operations

void CSirf::SetDgpsMode(DgpsMode eMode) {
    if (!m_Port.IsOpen()) return;
    SwitchToBinary();
    SendDgpsSourceMsg(eMode);
    SwitchToNmea();
    SetDefaultNMEA();
}

bool CSirf::ResetAll(bool) {
    if (!Initialize() || !m_Port.IsOpen()) return false;
    SwitchToNmea();
    SetDefaultNMEA();
    return true;
}

}  // namespace tolvik
