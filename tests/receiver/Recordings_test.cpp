// Whole recordings of real receivers replayed through Parse, one line and a line end per message,
// as the emulation replay hands them over. The expectations come from the sentences themselves,
// read here with plain string handling, independently of the library's tokenizer and arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace tolvik {
namespace {

using test::RecordingHost;
using test::TestReceiver;

constexpr int kMinSatellites = 4;

// ---- Reading sentences independently

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Two hex digits after the '*' against the XOR of everything between '$' and '*'.
bool HasValidChecksum(const std::string& line) {
    const std::size_t dollar = line.find('$');
    const std::size_t star = line.find('*');
    if (dollar == std::string::npos || star == std::string::npos || star < dollar ||
        line.size() < star + 3) {
        return false;
    }
    unsigned sum = 0;
    for (std::size_t i = dollar + 1; i < star; ++i) sum ^= static_cast<unsigned char>(line[i]);
    char* end = nullptr;
    const std::string digits = line.substr(star + 1, 2);
    const unsigned long expected = std::strtoul(digits.c_str(), &end, 16);
    return *end == '\0' && expected == sum;
}

// The comma-separated fields between the '$' and the '*'.
std::vector<std::string> Fields(const std::string& line) {
    const std::size_t star = line.find('*');
    const std::string body =
        line.substr(1, star == std::string::npos ? std::string::npos : star - 1);
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = body.find(',', start);
        fields.push_back(
            body.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

// Decimal numbers as receivers write them: sign, digits, optional fraction.
std::optional<double> Number(const std::string& s) {
    std::size_t i = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
    std::size_t digits = 0;
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) ++digits;
    if (i < s.size() && s[i] == '.') {
        for (++i; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) ++digits;
    }
    if (digits == 0 || i != s.size()) return std::nullopt;
    return std::stod(s);
}

std::optional<int> Integer(const std::string& s) {
    if (s.find('.') != std::string::npos) return std::nullopt;
    const auto value = Number(s);
    if (!value) return std::nullopt;
    return static_cast<int>(*value);
}

bool IsUnit(const std::string& s, char unit) { return s.size() == 1 && std::toupper(s[0]) == unit; }

// "ddmm.mmmm" or "dddmm.mmmm": the minutes are the two digits before the point and the fraction.
double AngleRadians(const std::string& field, const std::string& hemisphere, const char* positive) {
    const std::size_t point = std::min(field.find('.'), field.size());
    const std::size_t split = point >= 2 ? point - 2 : 0;
    const double degrees = split > 0 ? std::stod(field.substr(0, split)) : 0.0;
    const double minutes = std::stod(field.substr(split));
    const double sign = hemisphere == positive ? 1.0 : -1.0;
    return sign * (degrees + minutes / 60.0) * std::numbers::pi / 180.0;
}

double SecondsOfDay(const std::string& field) {
    return std::stod(field.substr(0, 2)) * 3600 + std::stod(field.substr(2, 2)) * 60 +
           std::stod(field.substr(4));
}

int StatusOfGGAQuality(int quality) {
    switch (quality) {
        case 0:
            return UDF_SIGNAL_NONE;
        case 2:
            return UDF_SIGNAL_CORRECTED_GPS;
        case 4:
            return UDF_SIGNAL_RTK_FIXED;
        case 5:
            return UDF_SIGNAL_RTK_FLOAT;
        case 6:
            return UDF_SIGNAL_CALCULATED;
        case 7:
            return UDF_SIGNAL_MANUAL;
        case 9:
            return UDF_SIGNAL_WAAS;
        default:
            return UDF_SIGNAL_GPS;
    }
}

struct ExpectedFix {
    double latitude;
    double longitude;
    int status;
    std::optional<double> utc;
    std::optional<int> satellites;
    std::optional<double> hdop;
    std::optional<double> altitude;
};

bool IsPositionSentence(const std::string& line) {
    return StartsWith(line, "$GPGGA") || StartsWith(line, "$GNGGA") || StartsWith(line, "$INGGA");
}

// What a GGA or INGGA line must produce, or nothing when the sentence cannot be read. GPS
// sentences need every field up to the altitude unit; the inertial one only its position,
// quality and altitude unit.
std::optional<ExpectedFix> ExpectFix(const std::string& line) {
    const std::vector<std::string> f = Fields(line);
    if (f.size() < 11 || !IsUnit(f[10], 'M')) return std::nullopt;
    const bool inertial = f[0] == "INGGA";
    const auto latitude = Number(f[2]);
    const auto longitude = Number(f[4]);
    const auto quality = Integer(f[6]);
    const auto satellites = Integer(f[7]);
    const auto hdop = Number(f[8]);
    const auto altitude = Number(f[9]);
    const bool timeOk = Number(f[1]).has_value();
    if (!latitude || !longitude || !quality) return std::nullopt;
    if (!inertial && (!timeOk || !satellites || !hdop || !altitude)) return std::nullopt;

    ExpectedFix fix{AngleRadians(f[2], f[3], "N"),
                    AngleRadians(f[4], f[5], "E"),
                    UDF_SIGNAL_NONE,
                    std::nullopt,
                    satellites,
                    hdop,
                    altitude};
    if (timeOk) fix.utc = SecondsOfDay(f[1]);
    if (inertial) {
        fix.status = *quality == 0 ? UDF_SIGNAL_NONE : UDF_SIGNAL_CALCULATED;
    } else {
        fix.status = *satellites < kMinSatellites ? UDF_SIGNAL_NONE : StatusOfGGAQuality(*quality);
    }
    return fix;
}

// A "$P" sentence without a handler of its own, short enough to be kept as the epoch's text.
bool KeptAsProprietary(const std::string& line) {
    const char* handled[] = {"$PASHR", "$PSLIR,PAR,NMEA", "$PSLIR,PAR,MODE", "$PMCAG", "$PGRME"};
    if (!StartsWith(line, "$P")) return false;
    for (const char* header : handled) {
        if (StartsWith(line, header)) return false;
    }
    const std::size_t length = line.size() + 2;  // with its line end
    return length >= 10 && length <= 82;
}

// ---- Replaying a recording

struct LineResult {
    std::string line;
    std::vector<const CGPSData*> epochs;  // published while this line was parsed
    int checksumErrors = 0;               // added by this line
    bool corruptedCopy = false;           // a copy of a GGA line with its checksum spoiled
};

class Replay {
public:
    explicit Replay(const std::string& file) {
        m_receiver.m_nMinSatellites = kMinSatellites;
        for (const std::string& line : test::ReadLines(test::SharedData("receivers/" + file))) {
            if (line.empty() || line[0] == '#') continue;
            if (IsPositionSentence(line) && HasValidChecksum(line)) {
                // A corrupted copy first: it must change nothing.
                std::string spoiled = line;
                const std::size_t star = spoiled.find('*');
                spoiled[star + 2] = spoiled[star + 2] == '0' ? '1' : '0';
                Feed(spoiled, true);
            }
            Feed(line, false);
        }
    }

    std::vector<LineResult> lines;

private:
    void Feed(const std::string& line, bool corrupted) {
        const int errorsBefore = m_receiver.m_nChecksumErrors;
        CString message = CString::FromBytes(line + "\r\n");
        m_receiver.Parse(message);
        const std::size_t before = m_host.epochs.size();
        m_host.Pump();
        LineResult result{line, {}, m_receiver.m_nChecksumErrors - errorsBefore, corrupted};
        for (std::size_t i = before; i < m_host.epochs.size(); ++i)
            result.epochs.push_back(m_host.epochs[i].get());
        lines.push_back(std::move(result));
    }

    RecordingHost m_host;
    TestReceiver m_receiver;
};

class ReplayTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ReplayTest, OneEpochPerReadablePositionSentence) {
    TOLVIK_REQUIRE_SHARED_DATA();
    const Replay replay(GetParam());

    int positionSentences = 0;
    int expectedPositions = 0;
    int expectedFixes = 0;
    int postedPositions = 0;
    int postedFixes = 0;
    bool positionPending = false;  // left by a position sentence that failed half-way
    for (const LineResult& r : replay.lines) {
        SCOPED_TRACE(r.line);
        const bool validChecksum = !r.corruptedCopy && HasValidChecksum(r.line);
        if (!validChecksum) {
            if (IsPositionSentence(r.line)) {
                EXPECT_EQ(r.checksumErrors, 1);
            }
            if (!StartsWith(r.line, "$P")) {
                EXPECT_TRUE(r.epochs.empty());
            }
            continue;
        }
        EXPECT_EQ(r.checksumErrors, 0);

        if (!IsPositionSentence(r.line)) {
            // Only the first epoch after a failed position sentence carries what it left.
            for (const CGPSData* epoch : r.epochs) {
                EXPECT_TRUE(!epoch->m_bPositionValid || positionPending);
                if (epoch->m_bPositionValid) positionPending = false;
            }
            if (KeptAsProprietary(r.line)) positionPending = false;
            continue;
        }
        ++positionSentences;
        const std::optional<ExpectedFix> fix = ExpectFix(r.line);
        positionPending = !fix;
        if (!fix) {
            EXPECT_TRUE(r.epochs.empty());
            continue;
        }
        ++expectedPositions;
        expectedFixes += fix->status != UDF_SIGNAL_NONE;
        ASSERT_EQ(r.epochs.size(), 1u);
        const CGPSData& epoch = *r.epochs[0];
        postedPositions += epoch.m_bPositionValid;
        postedFixes += epoch.m_bPositionValid && epoch.m_nFixStatus != UDF_SIGNAL_NONE;
        EXPECT_TRUE(epoch.m_bPositionValid);
        EXPECT_NEAR(epoch.m_dLatitude, fix->latitude, 1e-12);
        EXPECT_NEAR(epoch.m_dLongitude, fix->longitude, 1e-12);
        EXPECT_EQ(epoch.m_nFixStatus, fix->status);
        if (fix->utc) {
            EXPECT_NEAR(epoch.m_dUTCTime, *fix->utc, 1e-6);
        }
        if (fix->satellites) {
            EXPECT_EQ(epoch.m_nSatellitesUsed, *fix->satellites);
        }
        if (fix->hdop) {
            EXPECT_DOUBLE_EQ(epoch.m_dHDOP, *fix->hdop);
            EXPECT_TRUE(epoch.m_bDOPValid);
        }
        if (fix->altitude) {
            EXPECT_DOUBLE_EQ(epoch.m_dAltitude, *fix->altitude);
        }
        EXPECT_GE(epoch.m_nSatellitesInView, epoch.m_nSatellitesUsed);
    }
    EXPECT_GT(positionSentences, 0);
    EXPECT_GT(expectedPositions, 0);
    EXPECT_EQ(postedPositions, expectedPositions);
    EXPECT_EQ(postedFixes, expectedFixes);
    RecordProperty("positions", expectedPositions);
    RecordProperty("fixes", expectedFixes);
}

// A "$P" sentence that no handler takes reaches the host as the epoch's proprietary text.
TEST_P(ReplayTest, UnhandledProprietarySentencesArePassedOn) {
    TOLVIK_REQUIRE_SHARED_DATA();
    const Replay replay(GetParam());
    for (const LineResult& r : replay.lines) {
        if (!KeptAsProprietary(r.line)) continue;
        SCOPED_TRACE(r.line);
        const std::string text = r.line + "\r\n";
        ASSERT_EQ(r.epochs.size(), 1u);
        EXPECT_TRUE(r.epochs[0]->m_bProprietaryValid);
        std::string expected = text.substr(0, CGPSData::kProprietaryLength);
        expected.resize(CGPSData::kProprietaryLength, '\0');
        EXPECT_EQ(std::string(r.epochs[0]->m_szProprietary, CGPSData::kProprietaryLength),
                  expected);
    }
}

// Needs the GSA, GSV and VTG handlers: satellites in view from completed GSV groups, PDOP and VDOP
// from GSA, course and speed from VTG, carried by the epochs the receiver publishes.
TEST_P(ReplayTest, SatellitesDilutionsAndVelocity) {
    TOLVIK_REQUIRE_SHARED_DATA();
    const Replay replay(GetParam());

    int nextGSV = 1;
    std::optional<double> pdop;
    std::optional<double> vdop;
    bool anyVTG = false;
    bool velocityPending = false;  // a good VTG since the last epoch with a position
    double speed = 0.0;
    double course = 0.0;
    bool positionPending = false;  // left by a position sentence that failed half-way
    for (const LineResult& r : replay.lines) {
        if (r.corruptedCopy || !HasValidChecksum(r.line)) continue;
        SCOPED_TRACE(r.line);
        const std::vector<std::string> f = Fields(r.line);
        const std::string& header = f[0];
        if (header == "GPGSV" || header == "GNGSV") {
            const auto total = Integer(f[1]);
            const auto number = Integer(f[2]);
            const auto inView = f.size() > 3 ? Integer(f[3]) : std::nullopt;
            ASSERT_TRUE(total && number && inView);
            bool complete = false;
            if (*number != nextGSV && *number != 1) {
                nextGSV = 1;
            } else {
                complete = *number == *total;
                nextGSV = *number + 1 > *total ? 1 : *number + 1;
            }
            ASSERT_EQ(r.epochs.size(), complete ? 1u : 0u);
            if (complete) {
                const CGPSData& epoch = *r.epochs[0];
                EXPECT_TRUE(epoch.m_bSVInfoValid);
                EXPECT_EQ(epoch.m_bPositionValid, positionPending);
                EXPECT_EQ(epoch.m_nSatellitesInView, std::max(*inView, epoch.m_nSatellitesUsed));
            }
        } else if (header == "GPGSA" || header == "GNGSA") {
            if (f.size() > 17) {
                if (const auto v = Number(f[15])) pdop = v;
                if (const auto v = Number(f[17])) vdop = v;
            }
            EXPECT_EQ(r.epochs.size(), positionPending ? 1u : 0u);
        } else if (header == "GPVTG" || header == "GNVTG") {
            const auto degrees = f.size() > 8 ? Number(f[1]) : std::nullopt;
            const auto kmh = f.size() > 8 ? Number(f[7]) : std::nullopt;
            const bool good = degrees && kmh && IsUnit(f[2], 'T') && IsUnit(f[8], 'K');
            if (good) {
                anyVTG = velocityPending = true;
                speed = *kmh / 3.6;
                const double mathDegrees =
                    std::fmod(std::fmod(90.0 - *degrees, 360.0) + 360.0, 360.0);
                course = mathDegrees * std::numbers::pi / 180.0;
            }
            EXPECT_EQ(r.epochs.size(), good && positionPending ? 1u : 0u);
        } else if (IsPositionSentence(r.line)) {
            const bool readable = ExpectFix(r.line).has_value();
            ASSERT_EQ(r.epochs.size(), readable ? 1u : 0u);
            if (readable) {
                const CGPSData& epoch = *r.epochs[0];
                if (pdop) {
                    EXPECT_DOUBLE_EQ(epoch.m_dPDOP, *pdop);
                }
                if (vdop) {
                    EXPECT_DOUBLE_EQ(epoch.m_dVDOP, *vdop);
                }
                if (anyVTG) {
                    // From the first VTG on, only the receiver's own velocity is reported.
                    EXPECT_EQ(epoch.m_bVelocityValid, velocityPending);
                    const bool moving = speed >= 0.3;
                    EXPECT_NEAR(epoch.m_dSpeed, moving ? speed : 0.0, 1e-9);
                    EXPECT_NEAR(epoch.m_dCourse, moving ? course : 0.0, 1e-9);
                }
            }
            positionPending = !readable;
        }
        // Publishing a position, or a proprietary sentence, starts the next epoch's flags.
        const bool flagsCleared =
            KeptAsProprietary(r.line) ||
            std::any_of(r.epochs.begin(), r.epochs.end(),
                        [](const CGPSData* e) { return e->m_bPositionValid; });
        if (flagsCleared) {
            velocityPending = false;
            if (!IsPositionSentence(r.line) || ExpectFix(r.line)) positionPending = false;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Recordings, ReplayTest,
                         ::testing::Values("ac12.log", "bu353-glonass.log", "garmin17n.log",
                                           "hemi.log", "holux-gm-210.log", "humminbird-M37.log",
                                           "nmea-fuzzy-cases.log", "tn200-all.log"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

}  // namespace
}  // namespace tolvik
