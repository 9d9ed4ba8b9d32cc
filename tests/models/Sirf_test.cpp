// The SiRF command set (CSirf, CToughbookGPS01, CHolux): "$PSRF" sentences with their checksums,
// the binary frames byte for byte, and the pauses between them.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/CommandTrace.h"
#include "support/TestSupport.h"
#include "tolvik/models/CHolux.h"

namespace tolvik {
namespace {

struct SirfProbe : CSirf {
    using CSirf::SendBinaryMsg;
};

std::string Bytes(std::vector<int> bytes) { return std::string(bytes.begin(), bytes.end()); }
std::string DgpsSourceFrame(int source, int checksum) {
    return Bytes({0xA0, 0xA2, 0, 7, 0x85, source, 0, 0, 0, 0, 0, 0, checksum, 0xB0, 0xB3}) + "[3000]";
}
// Message 0x81, mode 2, ten zero rate and checksum pairs, the baud rate's low 16 bits.
std::string SwitchToNmeaFrame(int baudHigh, int baudLow, int checksum) {
    return Bytes({0xA0, 0xA2, 0x00, 0x18, 0x81, 0x02}) + std::string(20, '\0') +
           Bytes({baudHigh, baudLow, checksum >> 8, checksum & 0xFF, 0xB0, 0xB3}) + "[3000]";
}
const std::string kGgaOn = "$PSRF103,00,00,02,01*26\r\n[400]";
const std::string kRmcGllOff = "$PSRF103,04,00,00,01*20\r\n[400]$PSRF103,01,00,00,01*25\r\n[400]";
const std::string kDefaultNmea = kGgaOn +
                                 "$PSRF103,02,00,02,01*24\r\n[400]"
                                 "$PSRF103,05,00,02,01*23\r\n[400]$PSRF103,03,00,02,01*25\r\n[400]" +
                                 kRmcGllOff;

TEST(SirfTest, CommandsFramesAndPausesOnAnOpenPort) {
    const struct {
        const char* legend;
        int baudRate;
        std::function<void(SirfProbe&)> operation;
        std::string expected;
    } cases[] = {
        {"default NMEA", 4800, [](auto& r) { r.SetDefaultNMEA(); }, kDefaultNmea},
        {"GGA only", 4800, [](auto& r) { r.SetGgaOnlyNMEA(); },
         kGgaOn +
             "$PSRF103,02,00,00,01*26\r\n[400]$PSRF103,05,00,00,01*21\r\n[400]"
             "$PSRF103,03,00,00,01*27\r\n[400]" +
             kRmcGllOff},
        {"WAAS at 4800 baud", 4800, [](auto& r) { r.SetDgpsMode(DGPS_MODE_WAAS); },
         "$PSRF100,0,4800,8,1,0*0F\r\n[3000]" + DgpsSourceFrame(1, 0x86) + SwitchToNmeaFrame(0x12, 0xC0, 0x155) +
             kDefaultNmea},
        {"L-band at 9600 baud: no source", 9600, [](auto& r) { r.SetDgpsMode(DGPS_MODE_LBAND); },
         "$PSRF100,0,9600,8,1,0*0C\r\n[3000]" + DgpsSourceFrame(0, 0x85) + SwitchToNmeaFrame(0x25, 0x80, 0x128) +
             kDefaultNmea},
        {"reset at 115200 baud", 115200, [](auto& r) { EXPECT_TRUE(r.ResetAll(false)); },
         SwitchToNmeaFrame(0xC2, 0x00, 0x145) + kDefaultNmea},
        {"largest frame whole, a larger one not at all; the sum 0x3FC000 keeps 15 bits", 9600,
         [](auto& r) {
             std::vector<unsigned char> payload(CSirf::kMaxPayloadBytes + 1, 0xFF);
             EXPECT_FALSE(r.SendBinaryMsg(payload.data(), CSirf::kMaxPayloadBytes + 1));
             EXPECT_TRUE(r.SendBinaryMsg(payload.data(), CSirf::kMaxPayloadBytes));
         },
         Bytes({0xA0, 0xA2, 0x40, 0}) + std::string(16384, '\xFF') + Bytes({0x40, 0, 0xB0, 0xB3})},
    };
    test::CommandTrace trace(4);
    test::RecordingHost host;
    SirfProbe receiver;
    receiver.SetupReceiver(trace.Port(), 0, 0.0, L"", false);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        receiver.m_nBaudRate = c.baudRate;
        ASSERT_TRUE(receiver.Initialize());
        trace.Take();
        c.operation(receiver);
        EXPECT_EQ(trace.Take(), c.expected);
    }
}

// The checksum goes after the text; a text without "$" is left alone.
TEST(SirfTest, AppendNmeaChecksum) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {{L"$PSRF103,01,00,00,01", L"$PSRF103,01,00,00,01*25"},
                                                               {L"reset $", L"reset $*00"},
                                                               {L"x$A$", L"x$A$*65"},
                                                               {L"PSRF103,01", L"PSRF103,01"},
                                                               {L"", L""}};
    for (const auto& [text, expected] : cases) {
        CString sentence = text;
        const bool appended = AppendNmeaChecksum(sentence);
        EXPECT_EQ(appended, sentence != CString(text));
        EXPECT_EQ(sentence, CString(expected));
    }
}

// Nothing is acknowledged: the reset does not wait for a receiver that never answers.
TEST(SirfTest, HoluxResetFailsOnAClosedPortAndReturnsAtOnceOnAnOpenOne) {
    test::CommandTrace trace(4);
    test::RecordingHost host;
    CHolux receiver;  // on port 0, which cannot be opened
    receiver.SetDefaultNMEA(), receiver.SetGgaOnlyNMEA(), receiver.SetDgpsMode(DGPS_MODE_WAAS);
    EXPECT_FALSE(receiver.ResetAll(true));
    EXPECT_EQ(trace.Take(), "");
    receiver.SetProperties();
    receiver.SetupReceiver(trace.Port(), 0, 0.0, L"", false);
    EXPECT_TRUE(receiver.ResetAll(true));
    EXPECT_EQ(trace.Take(), "[10]" + SwitchToNmeaFrame(0x12, 0xC0, 0x155) + kDefaultNmea);
}

}  // namespace
}  // namespace tolvik
