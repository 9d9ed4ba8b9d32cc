#include "SeedCorpus.h"

#include <algorithm>
#include <cstdint>

#include "sim/MixedStream.h"
#include "sim/RawRecords.h"
#include "sim/SessionGenerator.h"
#include "sim/SimulatedReceiver.h"

namespace tolvik::fuzz {

namespace {

constexpr int kModels = 19;  // the catalogue

std::string Filled(std::size_t n, unsigned char first) {
    std::string out(n, '\0');
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char>(first + 37 * i);
    return out;
}

// One of each kind of message a receiver of the catalogue sends, as it goes over the line.
std::vector<std::string> MessageShapes() {
    using sim::NmeaSentence;
    std::vector<std::string> m = {
        NmeaSentence("GPGGA,101530.00,6407.6980,N,02151.4200,W,2,08,0.9,45.3,M,65.8,M,3.0,0120"),
        NmeaSentence("GNGGA,101531.00,6407.6981,N,02151.4201,W,4,12,0.6,45.1,M,65.8,M,1.0,0001"),
        NmeaSentence("INGGA,101532.00,6407.6982,N,02151.4202,W,1,07,1.2,44.9,M,65.8,M,,"),
        NmeaSentence("GPGSA,A,3,02,05,12,15,24,25,29,,,,,,1.8,0.9,1.5"),
        NmeaSentence("GPGSV,3,1,09,02,45,123,44,05,12,310,33,12,67,045,48,15,08,200,"),
        NmeaSentence("GPGSV,3,3,09,31,05,015,"),
        NmeaSentence("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A"),
        NmeaSentence("GPRMC,101530.00,A,6407.6980,N,02151.4200,W,5.5,54.7,140325,,,D"),
        NmeaSentence("GPGLL,6407.6980,N,02151.4200,W,101530.00,A,D"),
        NmeaSentence("GPZDA,101530.00,14,03,2025,00,00"),
        NmeaSentence("GPALM,1,1,15,1159,00,441D,4E,16BE,FD5E,A10C9F,4A2DA4,686E81,58CBE1,0A4,001"),
        NmeaSentence("CRMSS,49,12,313.0,100,1"),
        NmeaSentence("GPMSK,304.0,M,100,M,0"),
        NmeaSentence("PGRME,2.3,M,3.9,M,4.5,M"),
        NmeaSentence("PSLIR,PAR,NMEA,GGA,1,GSA,1,GSV,5,VTG,1"),
        NmeaSentence("PSLIR,PAR,MODE,3,10,0"),
        NmeaSentence("PTLVK,STATUS,OK"),
        "$PMCAG,005,0,900,0,906,0,907,0,GGA,1,GSA,1,VTG,1,GSV,1,ZDA,0,RMC,0,GLL,0\r\n",
        "$PMCAG,008,15,,,,-5,,,,,,,,,,,\r\n",
        "$PASHR,ACK*3D\r\n",
        "$PASHR,NAK*30\r\n",
        "$PASHR,SAT,04,02,045,123,44,U,05,312,12,33,U,12,067,045,48,-,15,200,08,30,U*5A\r\n",
        "PEM:10 SAV:N\r\n",
        "PMD:1 ALT:+00123.50 PDP:40 HDP:04 VDP:06 FIX:0\r\n",
        "PRTA:  ON  ON  OFF ON  OFF ON  OFF ON  ON  OFF ON  OFF OFF OFF ON  OFF\r\n",
        "PER:001.00 ELM:10\r\n",
        "$>JSHOW,ASC,GPGGA,1.0,PORTA\r\n",
        "$>JSHOW,DIFF,BEACON_RTCM\r\n",
        "$>JSHOW,FREQ,1557.8450,1200\r\n",
        "$>JSHOW,MASK,5\r\n",
        "$>JI,311204,1,3,96\r\n",
        "$>JGEO,Sent=1234,Lat=64.13\r\n",
        "$RD1,101530,1557845,1200,0,1,0\r\n",
        sim::LogReply(
            "LOGLISTA,COM1,0,56.0,FINESTEERING,1337,1234.000,00000000,0000,1;2,COM1,GPGGA,ONTIME,1.0,0.0,NOHOLD"),
        sim::LogReply("RXCONFIGA,COM1,0,56.0,FINESTEERING,1337,1234.000,00000000,0000,1;#ECUTOFFA,COM1,0;5.0"),
        sim::LogReply("ECUTOFFA,COM1,0,81.0,FINESTEERING,1337,1234.000,00000000,0000,1;5.5"),
        sim::LogReply("OMNIINFOA,COM1,0,81.0,FINESTEERING,1337,1234.000,00000000,0000,1;1557845,1200,LOCKED"),
        sim::LogReply("OMNISTATA,COM1;LOCKED,45.2"),
        sim::LogReply("OMNIHPPOSA,COM1;SOL_COMPUTED,OMNISTAR_HP,64.1283,-21.8570,45.3"),
        sim::LogReply("WAAS1A,COM1;122"),
        sim::LogReply("RTKSOURCEA,COM1;OMNISTAR,ANY"),
        sim::LogReply("SBASCONTROLA,COM1;ENABLE,AUTO,0"),
        sim::LogReply("PSRDIFFSOURCEA,COM1;CDGPS,ANY"),
        sim::AshtechRecord("MCA", Filled(34, 3)),
        sim::AshtechRecord("SAL", Filled(67, 5)),
        sim::BinBlock(95, Filled(128, 7)),
        sim::BinBlock(96, Filled(300, 11)),
        sim::Axis4Record(43, Filled(40, 13)),
    };
    sim::MbnValues mbn;
    mbn.prn = 12;
    mbn.lastOfEpoch = true;
    mbn.tag = 1234;
    mbn.time = 0.25;
    mbn.doppler = -41234;
    mbn.phase = 12345.5;
    m.push_back(sim::MbnRecord(mbn));
    sim::PbnValues pbn;
    pbn.towMs = 468000000;
    const sim::Ecef ecef = sim::GeodeticToEcef(64.1283, -21.857, 110.0);
    pbn.x = ecef.x;
    pbn.y = ecef.y;
    pbn.z = ecef.z;
    m.push_back(sim::PbnRecord(pbn));
    CGPSDataEphemeris ephemeris;
    ephemeris.m_nPRN = 5;
    m.push_back(sim::SnvRecord(ephemeris));
    for (const std::string& line : sim::SimulatedReceiver::ParameterReply()) m.push_back(line + "\r\n");
    return m;
}

// The message as framing hands it to Parse: from its start up to its CR (binary records their
// framed length), without the line feed after it.
std::string Framed(const std::string& wire) {
    if (wire.size() >= 2 && wire.compare(wire.size() - 2, 2, "\r\n") == 0 && wire.rfind("$BIN", 0) != 0) {
        return wire.substr(0, wire.size() - 1);
    }
    return wire;
}

std::string Control(std::initializer_list<std::uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

std::vector<std::string> Streams() {
    std::vector<std::string> streams;
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        sim::MixedStreamOptions options;
        options.seed = seed;
        options.targetBytes = 1500;
        streams.push_back(sim::GenerateMixedStream(options).bytes);
    }
    sim::RawSessionOptions raw;
    raw.epochs = 2;
    raw.satellites = 4;
    streams.push_back(sim::GenerateRawSession(raw).bytes);
    std::string all;
    for (const std::string& message : MessageShapes()) all += message;
    streams.push_back(all);
    return streams;
}

std::string SessionText(bool withPause) {
    sim::SessionOptions options;
    options.minutes = 1;
    if (withPause) options.pauseBeforeEpochs = {1};
    std::vector<std::string> lines = sim::GenerateSession(options);
    lines.resize(std::min<std::size_t>(lines.size(), 24));
    return sim::JoinLines(lines);
}

}  // namespace

std::vector<std::string> SeedsFor(std::string_view target) {
    std::vector<std::string> seeds;
    if (target == "framing") {
        std::uint8_t chunk = 0;
        for (const std::string& stream : Streams()) {
            seeds.push_back(Control({chunk, 0x5A, 0x17, 0x01}) + stream);
            chunk = static_cast<std::uint8_t>(chunk * 3 + 7);
        }
        for (const std::string& message : MessageShapes()) seeds.push_back(Control({15, 1, 2, 3}) + message + message);
    } else if (target == "parse") {
        int model = 0;
        for (const std::string& message : MessageShapes()) {
            for (int i = 0; i < 2; ++i) {
                seeds.push_back(std::string(1, static_cast<char>(model % kModels)) + Framed(message));
                model += 5;
            }
        }
    } else if (target == "engine") {
        std::uint8_t model = 0;
        for (const std::string& stream : Streams()) {
            seeds.push_back(Control({model, 0x60, 0x04}) + stream);
            model = static_cast<std::uint8_t>(model + 3);
        }
        // Eight passes of every message shape run the framing buffer into the engine's limit.
        std::string all;
        for (const std::string& message : MessageShapes()) all += message;
        seeds.push_back(Control({5, 0x7C, 0x10}) + all);
        seeds.push_back(Control({0, 0x63, 0}) + SessionText(true));
        seeds.push_back(Control({3, 0x23, 0}) + SessionText(false));
    } else if (target == "files") {
        seeds.push_back(std::string(1, '\0') +
                        "4,UDF_SIGNAL_RTK_FLOAT\n5,\"UDF_SIGNAL_RTK_FIXED\"\n7 , udf_signal_manual\r\n"
                        "default,UDF_SIGNAL_GPS\n3,UDF_SIGNAL_DIFFERENTIAL\nno comma\n"
                        "9,\t\"udf_signal_waas \"\n");
        seeds.push_back(std::string(1, '\x01') + SessionText(true));
        seeds.push_back(std::string(1, '\x03') + "$PASHR,ACK*3D\r\nVEK PAUSE,Drive to the next point\n\n");
    } else if (target == "settings") {
        seeds.push_back(std::string(1, '\0') +
                        "[Garmin 17-N]\nBaud=4800\n\n[SiRF]\r\n baud = 38400 \n; note\n#x=1\n"
                        "orphan=1\n[]\n=5\n[sirf]\nBaud=9600\n");
        seeds.push_back(std::string(1, '\x01') +
                        "Garmin 17-N\nBaud\n4800\nSiRF\nbaud\n38400\nsirf\nBAUD\n9600\n"
                        "CSI - MAX\nSetup\nA=B [x]\n");
    }
    return seeds;
}

}  // namespace tolvik::fuzz
