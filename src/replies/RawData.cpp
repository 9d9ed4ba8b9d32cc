// Raw data for post-processing: the binary measurement, position and ephemeris records of
// Ashtech-style receivers ("$PASHR,MBN/PBN/SNV"), the "$BIN" blocks of the "$J" receivers and
// the self-describing AA 44 12 records, plus the commands that switch raw output on and set its
// rate.
//
// A raw epoch grows in m_GPSDataRaw: each MBN record adds one satellite, the PBN record that
// follows gives the receiver's position and clock and completes it, and the dispatcher then
// calls PostNewDataRaw, which hands the host a copy. SNV records carry one satellite's ephemeris
// each; a good one is posted at once and its week also stamps the next raw epoch.
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <numbers>

#include "tolvik/platform/CTime.h"
#include "tolvik/platform/Clock.h"
#include "tolvik/platform/Host.h"
#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

std::atomic<double> s_dBinOutputInterval{0.2};

namespace {

// ---- Big-endian readers for the "$PASHR" payloads

std::uint16_t ReadBE16(const unsigned char* p, int offset) {
    return static_cast<std::uint16_t>((p[offset] << 8) | p[offset + 1]);
}

std::uint32_t ReadBE32(const unsigned char* p, int offset) {
    return (static_cast<std::uint32_t>(p[offset]) << 24) | (static_cast<std::uint32_t>(p[offset + 1]) << 16) |
           (static_cast<std::uint32_t>(p[offset + 2]) << 8) | static_cast<std::uint32_t>(p[offset + 3]);
}

std::int16_t ReadBEInt16(const unsigned char* p, int offset) { return static_cast<std::int16_t>(ReadBE16(p, offset)); }

std::int32_t ReadBEInt32(const unsigned char* p, int offset) { return static_cast<std::int32_t>(ReadBE32(p, offset)); }

double ReadBEFloat(const unsigned char* p, int offset) {
    const std::uint32_t bits = ReadBE32(p, offset);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

double ReadBEDouble(const unsigned char* p, int offset) {
    const std::uint64_t bits = (static_cast<std::uint64_t>(ReadBE32(p, offset)) << 32) | ReadBE32(p, offset + 4);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The receivers close each payload with the sum, modulo 65536, of the big-endian 16-bit words
// before it; the checksum word itself follows them.
bool WordSumMatches(const unsigned char* p, int nWords) {
    std::uint16_t sum = 0;
    for (int i = 0; i < nWords; ++i) sum = static_cast<std::uint16_t>(sum + ReadBE16(p, 2 * i));
    return sum == ReadBE16(p, 2 * nWords);
}

std::uint16_t ReadLE16(const unsigned char* p, int offset) {
    return static_cast<std::uint16_t>(p[offset] | (p[offset + 1] << 8));
}

// ---- Payload sizes and offsets

constexpr int kMbnPayloadBytes = pashr::kMbnPayloadBytes;
constexpr int kMbnOffHead = 0;       // 4 bytes: [0] 1, [1] 0 on the epoch's last, [2] PRN
constexpr int kMbnOffTag = 4;        // int32, tag value (scaled by 0.002 in the epoch)
constexpr int kMbnOffFlags = 8;      // 4 bytes: [1] must be 24
constexpr int kMbnOffTime = 12;      // double, seconds
constexpr int kMbnOffDoppler = 20;   // int32, 0.0001 Hz
constexpr int kMbnOffPhase = 24;     // double, cycles
constexpr int kMbnOffChecksum = 40;  // word sum of bytes 0-39
constexpr int kMbnChecksumWords = pashr::ChecksumWords(kMbnPayloadBytes);
constexpr unsigned char kMbnHeadMark = 1;
constexpr unsigned char kMbnFlagsMark = 24;

constexpr int kPbnPayloadBytes = pashr::kPbnPayloadBytes;
constexpr int kPbnOffTow = 0;                                              // int32, milliseconds of the GPS week
constexpr int kPbnOffX = 8;                                                // double, ECEF metres
constexpr int kPbnOffY = 16;                                               // double, ECEF metres
constexpr int kPbnOffZ = 24;                                               // double, ECEF metres
constexpr int kPbnOffClockOffset = 32;                                     // single, metres
constexpr int kPbnOffClockDrift = 48;                                      // single, metres per second
constexpr int kPbnChecksumWords = pashr::ChecksumWords(kPbnPayloadBytes);  // checksum at 54

constexpr int kSnvPayloadBytes = pashr::kSnvPayloadBytes;
constexpr int kSnvOffWeek = 0;                                             // int16, GPS week
constexpr int kSnvOffTow = 2;                                              // int32, s
constexpr int kSnvOffTgd = 6;                                              // single, s
constexpr int kSnvOffAodc = 10;                                            // int32
constexpr int kSnvOffToc = 14;                                             // int32, s
constexpr int kSnvOffAf2 = 18;                                             // single, s/s^2
constexpr int kSnvOffAf1 = 22;                                             // single, s/s
constexpr int kSnvOffAf0 = 26;                                             // single, s
constexpr int kSnvOffAode = 30;                                            // int32
constexpr int kSnvOffDeltaN = 34;                                          // single, receiver's angle units per ms
constexpr int kSnvOffM0 = 38;                                              // double, receiver's angle units
constexpr int kSnvOffE = 46;                                               // double, dimensionless
constexpr int kSnvOffRootA = 54;                                           // double, sqrt(m)
constexpr int kSnvOffToe = 62;                                             // int32, s
constexpr int kSnvOffCic = 66;                                             // single, rad
constexpr int kSnvOffCrc = 70;                                             // single, m
constexpr int kSnvOffCis = 74;                                             // single, rad
constexpr int kSnvOffCrs = 78;                                             // single, m
constexpr int kSnvOffCuc = 82;                                             // single, rad
constexpr int kSnvOffCus = 86;                                             // single, rad
constexpr int kSnvOffOmega0 = 90;                                          // double, receiver's angle units
constexpr int kSnvOffOmega = 98;                                           // double, receiver's angle units
constexpr int kSnvOffI0 = 106;                                             // double, receiver's angle units
constexpr int kSnvOffOmegaDot = 114;                                       // single, receiver's angle units per ms
constexpr int kSnvOffIDot = 118;                                           // single, receiver's angle units per ms
constexpr int kSnvOffPrnLessOne = 128;                                     // int8, PRN - 1
constexpr int kSnvChecksumWords = pashr::ChecksumWords(kSnvPayloadBytes);  // checksum at 130

constexpr double kSecondsPerMetre = 3.3356409519815204e-09;  // 1 / speed of light
constexpr double kDegreesPerRadian = 57.29577951308232;

// ---- "$BIN" and AA 44 12

constexpr int kBinHeaderBytes = 8;  // "$BIN", block (LE 16), data length L (LE 16)
constexpr int kBinOffLength = 6;
constexpr int kBinFrameBytes = 12;  // header, checksum word and CR LF around the L data bytes
constexpr DWORD kCommandPauseMs = 200;
constexpr double kBinResendSeconds = 3.0;

// How many "$BIN" records pass between two re-sends of the output command: about every three
// seconds of output. The interval is only ever 0.2 or 1.0; anything else is clamped so that the
// division and the conversion stay defined (longer than 3 s: every record).
int BinResendPeriod(double dInterval) {
    const double q = kBinResendSeconds / dInterval;
    if (!(q >= 1.0)) return 1;
    if (q >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(q);
}

// ---- Geodesy

// ECEF to geodetic latitude, longitude (radians) and ellipsoidal height by one Bowring step
// (a and b of GRS 80; e'^2*b and e^2*a are fixed values, not derived from them). Near the
// surface the single step is exact to well below a millimetre. On the polar axis the step
// divides by zero, so there we answer directly; a point with Y == 0 west of the polar axis has
// longitude 180 degrees, where the half-angle formula would give 0/0.
struct Geodetic {
    double lat;
    double lon;
    double height;
};

Geodetic EcefToGeodetic(double x, double y, double z) {
    constexpr double a = 6378137.0;
    constexpr double b = 6356752.31414;
    constexpr double ep2b = 42841.31172438066;  // e'^2 * b
    constexpr double e2a = 42697.67291683291;   // e^2 * a
    constexpr double f = 0.003352810681238051;

    const double p = std::sqrt(x * x + y * y);
    if (p == 0.0) return {z < 0.0 ? -std::numbers::pi / 2 : std::numbers::pi / 2, 0.0, std::fabs(z) - b};

    const double theta = std::atan((z * a) / (p * b));
    const double s = std::sin(theta);
    const double c = std::cos(theta);
    const double phi = std::atan((z + ep2b * s * s * s) / (p - e2a * c * c * c));
    const double lambda = (x + p == 0.0) ? std::numbers::pi : 2.0 * std::atan(y / (x + p));
    const double sinPhi = std::sin(phi);
    const double n = a / std::sqrt(1.0 - (2.0 - f) * f * sinPhi * sinPhi);
    const double h = p / std::cos(phi) - n;
    return {phi, lambda, h};
}

// d = 1 - t, folded back towards [-1, 1]: whole seconds beyond +1 are dropped, and below -1
// one second more.
double WrapMbnTime(double t) {
    double d = 1.0 - t;
    const double whole = std::trunc(std::fabs(d));
    if (d < -1.0) {
        d += whole + 1.0;
    } else if (d > 1.0) {
        d -= whole;
    }
    return d;
}

// ---- GPS week from the calendar

// Julian day number (the day starting at noon) of a calendar date; Gregorian from 1582-10-15
// on, Julian before.
long long JulianDayNumber(long long y, long long m, long long d) {
    const long long a = (14 - m) / 12;  // 1 for January and February
    const long long yy = y + 4800 - a;
    const long long mm = m + 12 * a - 3;
    const bool gregorian = y > 1582 || (y == 1582 && (m > 10 || (m == 10 && d >= 15)));
    if (gregorian) {
        return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
    }
    return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - 32083;
}

// Julian date of a calendar moment; seconds are not counted.
double JulianDate(long long y, long long m, long long d, int hour, int minute) {
    return static_cast<double>(JulianDayNumber(y, m, d)) + (hour - 12 + minute / 60.0) / 24.0;
}

// Whole GPS weeks from 1980-01-06 00:00 to the clock's current time. The GPS week turns at
// midnight GPS time between Saturday and Sunday, which is within seconds of UTC; local time
// would put the turn up to a day off, so the clock is broken down as UTC.
int GpsWeekFromClock() {
    const std::tm now = CTime::GetCurrentTime().GetGmtTm();
    const double jdNow = JulianDate(now.tm_year + 1900LL, now.tm_mon + 1LL, now.tm_mday, now.tm_hour, now.tm_min);
    const double jdGpsEpoch = JulianDate(1980, 1, 6, 0, 0);
    const double weeks = std::trunc(std::trunc(jdNow - jdGpsEpoch) / 7.0);
    // A clock set absurdly far from now must not overflow the week field.
    if (!(weeks > INT_MIN && weeks < INT_MAX)) return 0;
    return static_cast<int>(weeks);
}

}  // namespace

// ---- Message bytes

bool CGPSReceiver::AttachRawData(const char* pData, int nCount) {
    if (nCount > 0 && pData) return m_GPSMessageRaw.Set(pData, nCount, nCount);
    m_GPSMessageRaw.Clear();
    return false;
}

namespace {

// The decoders get only a pointer to their payload. When it points into the attached message,
// this is how many bytes follow it there, so that a message cut short (by a caller that skipped
// the framing) is refused rather than read past its end; -1 when the payload lies elsewhere
// (the caller then vouches for its size).
int BytesAttachedFrom(const CBinBuffer& message, const unsigned char* pPayload) {
    int nLength = 0;
    const char* pStart = message.GetMessageBin(nLength);
    if (!pStart) return -1;
    const auto* first = reinterpret_cast<const unsigned char*>(pStart);
    const auto* last = first + nLength;
    if (std::less<const unsigned char*>()(pPayload, first) || std::greater<const unsigned char*>()(pPayload, last)) {
        return -1;
    }
    return static_cast<int>(last - pPayload);
}

bool PayloadFits(const CBinBuffer& message, const unsigned char* pPayload, int nBytes) {
    if (!pPayload) return false;
    const int available = BytesAttachedFrom(message, pPayload);
    return available < 0 || available >= nBytes;
}

}  // namespace

// ---- "$PASHR" raw records

// One satellite's measurement; 42 binary bytes after the head (big-endian):
//   $PASHR,MBN,<01 00 05 00><00 00 13 88><00 18 00 00><3F B1 EB 85 ...>...<cs>\r\n
//   1. head: byte 0 must be 1, byte 1 is 0 on the epoch's last record, byte 2 the PRN
//   2. tag value (int32)
//   3. flags: byte 1 must be 24
//   4. time value t (double, seconds), wrapped to 1 - t folded into [-1, 1]
//   5. Doppler (int32, 0.0001 Hz)
//   6. carrier phase (double, cycles)
//   7. checksum: word sum of bytes 0-39
bool CGPSReceiver::ProcessPASHR_MBN(const unsigned char* pPayload) {
    if (!PayloadFits(m_GPSMessageRaw, pPayload, kMbnPayloadBytes)) return false;
    const unsigned char* p = pPayload;

    DataRecord_G12_MBN record{};
    std::memcpy(record.m_Head, p + kMbnOffHead, sizeof record.m_Head);
    record.m_nTag = ReadBEInt32(p, kMbnOffTag);
    std::memcpy(record.m_Flags, p + kMbnOffFlags, sizeof record.m_Flags);
    record.m_dTime = WrapMbnTime(ReadBEDouble(p, kMbnOffTime));
    record.m_nDoppler = ReadBEInt32(p, kMbnOffDoppler);
    record.m_dPhase = ReadBEDouble(p, kMbnOffPhase);
    record.m_nChecksum = ReadBEInt16(p, kMbnOffChecksum);

    if (!WordSumMatches(p, kMbnChecksumWords)) return false;
    if (record.m_Head[0] != kMbnHeadMark || record.m_Flags[1] != kMbnFlagsMark) return false;

    m_GPSDataRaw.m_bLastRecord = record.m_Head[1] == 0;
    return m_GPSDataRaw.AddSatelliteData(record);
}

// The receiver's position and clock that complete the epoch; 56 binary bytes (big-endian):
//   $PASHR,PBN,<00 1B 77 40><....><X><Y><Z><clk><3 x unused><drift><..><cs>\r\n
//   1. time of week (int32, ms)
//   2. ECEF X, Y, Z (doubles, metres) at 8, 16, 24
//   3. clock offset (single, metres) at 32
//   4. clock drift (single, metres per second) at 48
//   5. checksum: word sum of bytes 0-53, at 54
bool CGPSReceiver::ProcessPASHR_PBN(const unsigned char* pPayload) {
    if (!PayloadFits(m_GPSMessageRaw, pPayload, kPbnPayloadBytes)) return false;
    const unsigned char* p = pPayload;

    m_GPSDataRaw.m_bPositionValid = false;
    if (!WordSumMatches(p, kPbnChecksumWords)) {
        // A broken position record leaves the epoch without an anchor: start over.
        m_GPSDataRaw.Clear();
        return false;
    }

    const Geodetic g = EcefToGeodetic(ReadBEDouble(p, kPbnOffX), ReadBEDouble(p, kPbnOffY), ReadBEDouble(p, kPbnOffZ));
    m_GPSDataRaw.m_dLatitude = g.lat;
    m_GPSDataRaw.m_dLongitude = g.lon;
    m_GPSDataRaw.m_dHeight = g.height;

    m_GPSDataRaw.m_dReceiverTime = ReadBEInt32(p, kPbnOffTow) * 0.001;
    m_GPSDataRaw.m_dClockOffset = ReadBEFloat(p, kPbnOffClockOffset);
    m_GPSDataRaw.m_dCorrectedTime = m_GPSDataRaw.m_dReceiverTime - m_GPSDataRaw.m_dClockOffset * kSecondsPerMetre;
    m_GPSDataRaw.m_dClockDrift = ReadBEFloat(p, kPbnOffClockDrift);

    m_GPSDataRaw.m_dLatitude *= kDegreesPerRadian;
    m_GPSDataRaw.m_dLongitude *= kDegreesPerRadian;
    m_GPSDataRaw.m_bPositionValid = true;
    return true;
}

// One satellite's broadcast ephemeris; 132 binary bytes (big-endian), singles widened:
//   $PASHR,SNV,<wk><tow><tgd><aodc><toc><af2><af1><af0><aode><dn><m0><e><roota><toe>
//              <cic><crc><cis><crs><cuc><cus><omega0><omega><i0><omegadot><idot>...<prn-1>.<cs>\r\n
//   1. week (int16) at 0; time of week (int32, s) at 2; Tgd (single, s) at 6
//   2. AODC (int32) at 10; Toc (int32, s) at 14; af2, af1, af0 (singles) at 18, 22, 26
//   3. AODE (int32) at 30; delta n (single) at 34; M0, e, sqrt(A) (doubles) at 38, 46, 54
//   4. Toe (int32, s) at 62; Cic, Crc, Cis, Crs, Cuc, Cus (singles) at 66 .. 86
//   5. Omega0, omega, i0 (doubles) at 90, 98, 106; Omega dot, i dot (singles) at 114, 118
//   6. PRN - 1 (int8) at 128
//   7. checksum: word sum of bytes 0-129, at 130
bool CGPSReceiver::ProcessPASHR_SNV(const unsigned char* pPayload) {
    if (!PayloadFits(m_GPSMessageRaw, pPayload, kSnvPayloadBytes)) return false;
    const unsigned char* p = pPayload;
    const bool bChecksumOK = WordSumMatches(p, kSnvChecksumWords);

    CGPSDataEphemeris& e = m_GPSEphemeris;
    e.m_nWeek = ReadBEInt16(p, kSnvOffWeek);
    e.m_nTOW = ReadBEInt32(p, kSnvOffTow);
    e.m_dTgd = ReadBEFloat(p, kSnvOffTgd);
    e.m_nAODC = ReadBEInt32(p, kSnvOffAodc);
    e.m_nToc = ReadBEInt32(p, kSnvOffToc);
    e.m_dAf2 = ReadBEFloat(p, kSnvOffAf2);
    e.m_dAf1 = ReadBEFloat(p, kSnvOffAf1);
    e.m_dAf0 = ReadBEFloat(p, kSnvOffAf0);
    e.m_nAODE = ReadBEInt32(p, kSnvOffAode);
    e.m_dDeltaN = ReadBEFloat(p, kSnvOffDeltaN);
    e.m_dM0 = ReadBEDouble(p, kSnvOffM0);
    e.m_dE = ReadBEDouble(p, kSnvOffE);
    e.m_dRootA = ReadBEDouble(p, kSnvOffRootA);
    e.m_nToe = ReadBEInt32(p, kSnvOffToe);
    e.m_dCic = ReadBEFloat(p, kSnvOffCic);
    e.m_dCrc = ReadBEFloat(p, kSnvOffCrc);
    e.m_dCis = ReadBEFloat(p, kSnvOffCis);
    e.m_dCrs = ReadBEFloat(p, kSnvOffCrs);
    e.m_dCuc = ReadBEFloat(p, kSnvOffCuc);
    e.m_dCus = ReadBEFloat(p, kSnvOffCus);
    e.m_dOmega0 = ReadBEDouble(p, kSnvOffOmega0);
    e.m_dOmega = ReadBEDouble(p, kSnvOffOmega);
    e.m_dI0 = ReadBEDouble(p, kSnvOffI0);
    e.m_dOmegaDot = ReadBEFloat(p, kSnvOffOmegaDot);
    e.m_dIDot = ReadBEFloat(p, kSnvOffIDot);
    e.m_nPRN = static_cast<std::int16_t>(static_cast<std::int8_t>(p[kSnvOffPrnLessOne]) + 1);

    if (!bChecksumOK) return false;
    PostEphemerisInfo();
    return true;
}

// ---- Publication

bool CGPSReceiver::PostNewDataRaw() {
    if (!m_GPSDataRaw.m_bPositionValid) return false;
    if (m_GPSDataRaw.m_nNumSV < 4) {
        // Too few satellites to post-process: the epoch is dropped.
        m_GPSDataRaw.Clear();
        return false;
    }
    std::unique_ptr<CGPSDataRaw> copy(new (std::nothrow) CGPSDataRaw);
    if (!copy) return false;  // kept; tried again after the next raw record

    m_GPSDataRaw.m_nGPSWeek = m_GPSEphemeris.m_nWeek;
    if (m_GPSDataRaw.m_nGPSWeek < 1) m_GPSDataRaw.m_nGPSWeek = GpsWeekFromClock();

    *copy = m_GPSDataRaw;
    copy->m_Time = CTime::GetCurrentTime();
    PostRecordToMainWindow(WM_GPS_NEWDATARAW, std::move(copy));
    m_GPSDataRaw.Clear();
    return true;
}

bool CGPSReceiver::PostEphemerisInfo() {
    if (m_GPSEphemeris.m_nWeek < 1) return false;
    std::unique_ptr<CGPSDataEphemeris> copy(new (std::nothrow) CGPSDataEphemeris);
    // Callbacks hear of every good ephemeris, even one the host will not get as a record.
    BroadcastNotification(GPS_NOTIFY_EPHEMERIS, &m_Notification);
    if (!copy) return false;
    *copy = m_GPSEphemeris;
    PostRecordToMainWindow(WM_GPS_EPHEMERIS, std::move(copy));
    return true;
}

// ---- "$BIN" and AA 44 12 records

namespace {

// Tells the host a binary record arrived. Several may come in one read and the host takes them
// later, so a host that opted in gets each record's own copy; m_BinaryMessage keeps the last.
void PostBinaryRecord(const CWordArray& words) {
    std::unique_ptr<CGPSBinaryRecord> record;
    if (CGPSReceiver::BinaryRecordCopies()) {
        record.reset(new (std::nothrow) CGPSBinaryRecord);
        if (record) record->m_Words.assign(words.begin(), words.end());
    }
    // The window owns the copy; an undeliverable post frees it.
    PostToMainWindow(WM_GPS_BINARY, 0, reinterpret_cast<LPARAM>(record.release()),
                     [](WPARAM, LPARAM lParam) { delete reinterpret_cast<CGPSBinaryRecord*>(lParam); });
}

}  // namespace

// A "$J" receiver's binary block (little-endian), taken as 16-bit words for the host:
//   $BIN<5F 00><80 00><128 data bytes><checksum><CR LF>
//   1. "$BIN"
//   2. block number (LE 16): 95 or 96
//   3. data length L (LE 16); the whole record is L + 12 bytes
bool CGPSReceiver::ProcessBIN() {
    int n = 0;
    const char* pBytes = m_GPSMessageRaw.GetMessageBin(n);
    if (!pBytes || n < kBinHeaderBytes) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(pBytes);

    const int nDataLength = ReadLE16(p, kBinOffLength);  // bytes
    const int nWords = (nDataLength + kBinFrameBytes) / 2;
    if (2 * nWords > n) return false;

    m_BinaryMessage.RemoveAll();
    m_BinaryMessage.SetSize(nWords);
    for (int i = 0; i < nWords; ++i) m_BinaryMessage[i] = ReadLE16(p, 2 * i);
    PostBinaryRecord(m_BinaryMessage);

    // The output command is repeated about every three seconds' worth of records, so that a
    // receiver that lost its settings (a reset, a power cycle) goes back to the rate we chose.
    ++m_nRawMessageCount;
    const double dInterval = s_dBinOutputInterval.load();
    if (m_nRawMessageCount % BinResendPeriod(dInterval) == 0) {
        m_Port.Write(dInterval == 0.2 ? CString(L"$JBIN,95,0.2\r\n") : CString(L"$JBIN,95,1\r\n"));
        platform::Sleep(kCommandPauseMs);
    }
    return true;
}

// A self-describing AA 44 12 record, handed on whole as little-endian 16-bit words (an odd last
// byte is dropped).
bool CGPSReceiver::ProcessAxis4BIN() {
    int n = 0;
    const char* pBytes = m_GPSMessageRaw.GetMessageBin(n);
    if (!pBytes) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(pBytes);

    const int nWords = n / 2;
    m_BinaryMessage.RemoveAll();
    m_BinaryMessage.SetSize(nWords);
    for (int i = 0; i < nWords; ++i) m_BinaryMessage[i] = ReadLE16(p, 2 * i);
    PostBinaryRecord(m_BinaryMessage);
    return true;
}

// ---- Raw output commands of the Ashtech-style receivers

bool CGPSReceiver::EnablePostProcessing(bool bOn) {
    static constexpr const wchar_t* kOn[] = {L"$PASHS,RAW,MBN,A,ON\r\n", L"$PASHS,RAW,PBN,A,ON\r\n",
                                             L"$PASHS,RAW,SNV,A,ON\r\n"};
    static constexpr const wchar_t* kOff[] = {L"$PASHS,RAW,MBN,A,OFF\r\n", L"$PASHS,RAW,PBN,A,OFF\r\n",
                                              L"$PASHS,RAW,SNV,A,OFF\r\n"};

    if (!m_Port.IsOpen()) return false;
    if (!HasRawData()) return true;
    for (const wchar_t* command : bOn ? kOn : kOff) {
        if (!m_Port.Write(command)) return false;
        platform::Sleep(kCommandPauseMs);
    }
    return true;
}

bool CGPSReceiver::SetRawDataOutputInterval(double dSeconds) {
    m_dRawDataInterval = dSeconds;
    if (!HasRawData() || IsExternalDriver()) return false;
    // The receivers take 0.25 s and longer; a value that is not a number is no interval at all.
    if (!(dSeconds >= 0.25) || !std::isfinite(dSeconds)) return false;
    const CString command = CString::Formatted(L"$PASHS,RCI,%-f\r\n", dSeconds);
    if (m_Port.IsOpen()) {
        m_Port.Write(command);
        platform::Sleep(kCommandPauseMs);
    }
    return true;
}

}  // namespace tolvik
