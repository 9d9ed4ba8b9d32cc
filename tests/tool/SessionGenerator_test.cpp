// The bundled sample recordings and their generator: the committed files are the generator's
// output, the session reads like a receiver's (formats, checksums, fixes, rising and setting
// satellites, motion), and the library reads back the values that were written.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <map>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "sim/SessionGenerator.h"
#include "support/TestSupport.h"
#include "tolvik/framing/CBinBuffer.h"

namespace tolvik {
namespace {

constexpr double kDegree = std::numbers::pi / 180.0;
constexpr double kSpeedOfLight = 299792458.0;

const sim::Session& DefaultSession() {
    static const sim::Session session = sim::SimulateSession({});
    return session;
}

// Fields of a sentence, the header first, the checksum left out.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields(1);
    for (const char c : line.substr(0, line.find('*'))) {
        if (c == ',')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

// "ddmm.mmmm" with its hemisphere letter, in degrees.
double NmeaDegrees(const std::string& value, const std::string& hemisphere) {
    const double v = std::stod(value);
    const double degrees = std::trunc(v / 100.0) + std::fmod(v, 100.0) / 60.0;
    return hemisphere == "S" || hemisphere == "W" ? -degrees : degrees;
}

// Distance in metres between two nearby points given in degrees.
double Metres(double lat1, double lon1, double lat2, double lon2, double* bearing = nullptr) {
    const double north = (lat2 - lat1) * kDegree * 6367000.0;
    const double east = (lon2 - lon1) * kDegree * 6390000.0 * std::cos(lat1 * kDegree);
    if (bearing)
        *bearing = std::fmod(std::atan2(east, north) / kDegree + 360.0, 360.0);
    return std::hypot(north, east);
}

double AngleBetween(double a, double b) {
    return std::fabs(std::remainder(a - b, 360.0));
}

// The sentences of each epoch, by header, from the lines of a session (an epoch starts at RMC).
struct EpochLines {
    std::map<std::string, std::vector<std::string>> byHeader;
    const std::vector<std::string>& Get(const std::string& header) const {
        static const std::vector<std::string> none;
        const auto it = byHeader.find(header);
        return it == byHeader.end() ? none : it->second;
    }
    std::vector<std::string> First(const std::string& header) const {
        return Get(header).empty() ? std::vector<std::string>() : Fields(Get(header).front());
    }
};

std::vector<EpochLines> SplitEpochs(const std::vector<std::string>& lines) {
    std::vector<EpochLines> epochs;
    for (const std::string& line : lines) {
        const std::string header = Fields(line)[0];
        if (header == "$GPRMC")
            epochs.emplace_back();
        if (!epochs.empty())
            epochs.back().byHeader[header].push_back(line);
    }
    return epochs;
}

std::string FirstDifference(const std::string& expected, const std::string& actual) {
    std::size_t i = 0;
    while (i < expected.size() && i < actual.size() && expected[i] == actual[i])
        ++i;
    const std::size_t from =
        expected.rfind('\n', i) == std::string::npos ? 0 : expected.rfind('\n', i) + 1;
    return "first difference at byte " + std::to_string(i) + " (generated: \"" +
           expected.substr(from, 80) +
           "\"); regenerate with tolvik_samplegen from the repository root";
}

TEST(SampleFilesTest, CommittedFilesAreTheGeneratorsOutput) {
    const std::string nmea = sim::JoinLines(sim::GenerateSession({}));
    const std::string committedNmea = test::ReadFile(test::ProjectFile("data/sample.log"));
    EXPECT_TRUE(committedNmea == nmea) << FirstDifference(nmea, committedNmea);
    EXPECT_LT(committedNmea.size(), 1u << 20);
    EXPECT_EQ(committedNmea.find('\r'), std::string::npos);
    EXPECT_EQ(committedNmea.find("VEK PAUSE"), std::string::npos)
        << "pause lines block paced replay";

    const std::string raw = sim::GenerateRawSession({}).bytes;
    const std::string committedRaw = test::ReadFile(test::ProjectFile("data/sample-raw.bin"));
    EXPECT_TRUE(committedRaw == raw) << FirstDifference(raw, committedRaw);
}

// Whether a field has one of the shapes separated by '|': 'd' stands for one digit, '#' for one
// or more, a leading '-' for an optional minus sign, any other character for itself; an empty
// shape stands for an empty field.
bool FieldHasShape(const std::string& field, const std::string& shapes) {
    std::size_t from = 0;
    while (true) {
        const std::size_t bar = shapes.find('|', from);
        const std::string shape = shapes.substr(from, bar == std::string::npos ? bar : bar - from);
        std::size_t i = 0, j = 0;
        bool ok = true;
        if (!shape.empty() && shape[0] == '-') {
            i += !field.empty() && field[0] == '-' ? 1 : 0;
            j = 1;
        }
        for (; ok && j < shape.size(); ++j) {
            const std::size_t digitsFrom = i;
            if (shape[j] == 'd' || shape[j] == '#') {
                while (i < field.size() && std::isdigit(static_cast<unsigned char>(field[i])) &&
                       (shape[j] == '#' || i == digitsFrom))
                    ++i;
                ok = i > digitsFrom;
            } else {
                ok = i < field.size() && field[i++] == shape[j];
            }
        }
        if (ok && i == field.size())
            return true;
        if (bar == std::string::npos)
            return false;
        from = bar + 1;
    }
}

// A sentence form: the shapes of its fields, then 1 to 4 repetitions of a block (GSV).
struct SentenceForm {
    const char* legend;
    std::vector<std::string> fields;
    std::vector<std::string> block;
    int type;  // what the library classifies it as
};

bool HasForm(const std::vector<std::string>& fields, const SentenceForm& form) {
    const std::size_t head = form.fields.size(),
                      rest = fields.size() - std::min(fields.size(), head);
    if (fields.size() < head)
        return false;
    if (form.block.empty()
            ? rest != 0
            : rest == 0 || rest % form.block.size() != 0 || rest > 4 * form.block.size())
        return false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string& shape =
            i < head ? form.fields[i] : form.block[(i - head) % form.block.size()];
        if (!FieldHasShape(fields[i], shape))
            return false;
    }
    return true;
}

// Each sentence matches the form a receiver writes it in: field widths, hemisphere letters,
// empty fields without a fix, upper-case checksums.
TEST(SessionGeneratorTest, EverySentenceHasItsFormatAndChecksum) {
    const std::string t = "dddddd.dd", lat = "dddd.dddd", lon = "ddddd.dddd";
    std::vector<std::string> gsa = {"$GPGSA", "A", "1|3"};
    gsa.insert(gsa.end(), 12, "|dd");
    gsa.insert(gsa.end(), 3, "#.dd");
    const SentenceForm forms[] = {
        {"RMC fix",
         {"$GPRMC", t, "A", lat, "N|S", lon, "E|W", "ddd.d", "ddd.d", "dddddd", "9.8", "W",
          "A|D|F|R"},
         {},
         7},
        {"RMC none", {"$GPRMC", t, "V", "", "", "", "", "", "", "dddddd", "", "", "N"}, {}, 7},
        {"VTG fix",
         {"$GPVTG", "ddd.d", "T", "ddd.d", "M", "ddd.d", "N", "ddd.d", "K", "A|D|F|R"},
         {},
         8},
        {"VTG none", {"$GPVTG", "", "T", "", "M", "", "N", "", "K", "N"}, {}, 8},
        {"GGA fix",
         {"$GPGGA", t, lat, "N|S", lon, "E|W", "1|2|4|5", "dd", "#.dd", "-#.d", "M", "-#.d", "M",
          "|#.d", "|dddd"},
         {},
         2},
        {"GGA none",
         {"$GPGGA", t, "", "", "", "", "0", "00", "99.99", "", "", "", "", "", ""},
         {},
         2},
        {"GSA", gsa, {}, 5},
        {"GSV", {"$GPGSV", "1|2|3|4", "1|2|3|4", "dd"}, {"dd", "dd", "ddd", "|dd"}, 6},
        {"PGRME", {"$PGRME", "#.d", "M", "#.d", "M", "#.d", "M"}, {}, 37},
        {"PTLVK", {"$PTLVK", "STAT", "NOFIX|GPS|DGPS|FLOAT|FIXED", "dd", "|#.d"}, {}, 0},
    };
    test::TestReceiver rx;
    std::map<std::string, int> seen;
    for (const std::string& line : DefaultSession().lines) {
        SCOPED_TRACE(line);
        EXPECT_LE(line.size() + 2, 82u);  // the NMEA limit, line end included
        const std::size_t star = line.find('*');
        ASSERT_NE(star, std::string::npos);
        int sum = 0;
        for (std::size_t i = 1; i < star; ++i)
            sum ^= static_cast<unsigned char>(line[i]);
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", sum);
        EXPECT_EQ(line.substr(star + 1), hex);

        bool matched = false;
        for (const SentenceForm& form : forms) {
            if (!HasForm(Fields(line), form))
                continue;
            matched = true;
            ++seen[form.legend];
            const CString text = CString::FromBytes(line + "\r\n");
            EXPECT_EQ(static_cast<int>(rx.GetGPSStringType(text)), form.type) << form.legend;
        }
        EXPECT_TRUE(matched) << "no known form";
    }
    for (const auto& form : forms)
        EXPECT_GT(seen[form.legend], 0) << form.legend;
    EXPECT_EQ(rx.m_nChecksumErrors, 0);
}

TEST(SessionGeneratorTest, FixRunsThroughEveryQualityWithEmptyFieldsWithoutOne) {
    const sim::Session& session = DefaultSession();
    const std::vector<EpochLines> epochs = SplitEpochs(session.lines);
    ASSERT_EQ(epochs.size(), session.epochs.size());
    ASSERT_EQ(epochs.size(), 360u);
    std::set<int> qualities;
    int changes = 0;
    for (std::size_t i = 0; i < epochs.size(); ++i) {
        SCOPED_TRACE(i);
        const std::vector<std::string> gga = epochs[i].First("$GPGGA");
        ASSERT_EQ(gga.size(), 15u);
        const int quality = std::stoi(gga[6]);
        EXPECT_EQ(quality, session.epochs[i].quality);
        qualities.insert(quality);
        if (i > 0 && quality != session.epochs[i - 1].quality)
            ++changes;
        EXPECT_EQ(gga[2].empty(), quality == 0);
        EXPECT_EQ(epochs[i].First("$GPRMC")[2], quality == 0 ? "V" : "A");
        EXPECT_EQ(epochs[i].First("$GPGSA")[2], quality == 0 ? "1" : "3");
    }
    EXPECT_EQ(qualities, (std::set<int>{0, 1, 2, 4, 5}));
    EXPECT_GE(changes, 8);  // not one block of each, but changing back and forth
}

// GSV groups as receivers send them, satellites rising and setting, and GSA naming only
// satellites above the mask with a good signal.
TEST(SessionGeneratorTest, SatellitesRiseSetAndOnlyGoodOnesAreUsed) {
    const sim::SessionOptions options;
    const std::vector<EpochLines> epochs = SplitEpochs(DefaultSession().lines);
    struct Seen {
        int elevation;
        int snr;  // -1: not heard
    };
    std::vector<std::map<int, Seen>> sky;
    for (std::size_t i = 0; i < epochs.size(); ++i) {
        SCOPED_TRACE(i);
        const std::vector<std::string>& group = epochs[i].Get("$GPGSV");
        ASSERT_GE(group.size(), 3u);
        ASSERT_LE(group.size(), 4u);
        std::map<int, Seen> listed;
        int count = 0, lastPrn = 0;
        for (std::size_t n = 0; n < group.size(); ++n) {
            const std::vector<std::string> f = Fields(group[n]);
            EXPECT_EQ(std::stoi(f[1]), static_cast<int>(group.size()));
            EXPECT_EQ(std::stoi(f[2]), static_cast<int>(n) + 1);
            count = std::stoi(f[3]);
            for (std::size_t b = 4; b + 3 < f.size(); b += 4) {
                const int prn = std::stoi(f[b]);
                EXPECT_GT(prn, lastPrn) << "listed by PRN";
                lastPrn = prn;
                listed[prn] = {std::stoi(f[b + 1]), f[b + 3].empty() ? -1 : std::stoi(f[b + 3])};
            }
        }
        EXPECT_EQ(count, static_cast<int>(listed.size()));

        const std::vector<std::string> gsa = epochs[i].First("$GPGSA");
        std::set<int> used;
        for (int k = 3; k <= 14; ++k)
            if (!gsa[k].empty())
                used.insert(std::stoi(gsa[k]));
        EXPECT_EQ(static_cast<int>(used.size()), std::stoi(epochs[i].First("$GPGGA")[7]));
        // GSV rounds the elevation: a listed 10 may lie just below a mask of 10 degrees, an 11
        // is above it for sure.
        int surelyGood = 0, maybeGood = 0;
        for (const auto& [prn, s] : listed) {
            const bool good = s.elevation >= options.elevationMask && s.snr >= 30;
            maybeGood += good ? 1 : 0;
            surelyGood += good && s.elevation >= options.elevationMask + 1 ? 1 : 0;
            if (used.count(prn)) {
                EXPECT_TRUE(good) << "PRN " << prn;
            }
        }
        for (int prn : used)
            EXPECT_TRUE(listed.count(prn)) << "used PRN " << prn << " not in view";
        if (!used.empty()) {
            EXPECT_GE(static_cast<int>(used.size()), std::min(surelyGood, 12));
            EXPECT_LE(static_cast<int>(used.size()), std::min(maybeGood, 12));
        }
        sky.push_back(std::move(listed));
    }

    // A satellite that rises appears low after the first epoch; one that sets leaves low.
    int risen = 0, set = 0, moved = 0;
    for (std::size_t i = 1; i < sky.size(); ++i) {
        for (const auto& [prn, s] : sky[i]) {
            if (sky[i - 1].count(prn))
                continue;
            ++risen;
            EXPECT_LE(s.elevation, 1) << "PRN " << prn << " rose";
        }
        for (const auto& [prn, s] : sky[i - 1]) {
            if (sky[i].count(prn))
                continue;
            ++set;
            EXPECT_LE(s.elevation, 1) << "PRN " << prn << " set";
        }
    }
    for (const auto& [prn, s] : sky.front())
        if (sky.back().count(prn) && sky.back().at(prn).elevation != s.elevation)
            ++moved;
    EXPECT_GE(risen, 1);
    EXPECT_GE(set, 1);
    EXPECT_GE(moved, static_cast<int>(sky.front().size()) / 2);
}

TEST(SessionGeneratorTest, DilutionsAgreeBetweenSentencesAndWithEachOther) {
    for (const EpochLines& epoch : SplitEpochs(DefaultSession().lines)) {
        const std::vector<std::string> gsa = epoch.First("$GPGSA");
        const double pdop = std::stod(gsa[15]), hdop = std::stod(gsa[16]),
                     vdop = std::stod(gsa[17]);
        SCOPED_TRACE(epoch.Get("$GPGSA").front());
        EXPECT_EQ(gsa[16], epoch.First("$GPGGA")[8]);
        if (gsa[2] == "1") {
            EXPECT_EQ(pdop, 99.99);
            continue;
        }
        EXPECT_NEAR(pdop, std::hypot(hdop, vdop), 0.015);
        EXPECT_GE(hdop, 0.5);
        EXPECT_LT(pdop, 6.0);
    }
}

// Speed and course of VTG and RMC describe the movement between the GGA positions.
TEST(SessionGeneratorTest, ReportedMotionMatchesTheMovement) {
    const sim::Session& session = DefaultSession();
    const std::vector<EpochLines> epochs = SplitEpochs(session.lines);
    struct Motion {
        bool fix = false;
        double lat = 0, lon = 0, speed = 0, course = 0;
    };
    std::vector<Motion> m;
    for (const EpochLines& e : epochs) {
        const std::vector<std::string> gga = e.First("$GPGGA"), vtg = e.First("$GPVTG"),
                                       rmc = e.First("$GPRMC");
        Motion x;
        x.fix = gga[6] != "0";
        if (x.fix) {
            x.lat = NmeaDegrees(gga[2], gga[3]);
            x.lon = NmeaDegrees(gga[4], gga[5]);
            x.speed = std::stod(vtg[7]) / 3.6;
            x.course = std::stod(vtg[1]);
            EXPECT_NEAR(std::stod(rmc[7]) * 1852.0 / 3600.0, x.speed, 0.05) << rmc[0];
            EXPECT_EQ(rmc[8], vtg[1]);
        }
        m.push_back(x);
    }
    int compared = 0, stopped = 0, fast = 0;
    for (std::size_t i = 1; i < m.size(); ++i) {
        const int q = session.epochs[i].quality;
        if (!m[i].fix || !m[i - 1].fix || q != session.epochs[i - 1].quality)
            continue;
        SCOPED_TRACE(i);
        double bearing = 0.0;
        const double metres = Metres(m[i - 1].lat, m[i - 1].lon, m[i].lat, m[i].lon, &bearing);
        const double mean = (m[i - 1].speed + m[i].speed) / 2.0;
        EXPECT_NEAR(metres, mean, 0.6);
        const double middle =
            m[i - 1].course + std::remainder(m[i].course - m[i - 1].course, 360.0) / 2.0;
        if (mean > 3.0) {
            EXPECT_LT(AngleBetween(bearing, middle), 8.0);
        }
        ++compared;
        stopped += m[i].speed < 0.2 ? 1 : 0;
        fast += m[i].speed > 15.0 ? 1 : 0;
    }
    EXPECT_GT(compared, 250);
    EXPECT_GT(stopped, 20);  // parked and waiting at the lights
    EXPECT_GT(fast, 20);
}

// The sentences carry the generator's solution, rounded to their fields; the solution strays
// from the true track by what its fix quality allows.
TEST(SessionGeneratorTest, PositionsAreTheSolutionRoundedToTheFields) {
    const std::map<int, double> allowed = {{1, 12.0}, {2, 4.0}, {5, 1.5}, {4, 0.08}};  // metres
    const sim::Session& session = DefaultSession();
    const std::vector<EpochLines> epochs = SplitEpochs(session.lines);
    const double quantum = 0.5e-4 / 60.0 + 1e-12;  // half a ten-thousandth of a minute
    for (std::size_t i = 0; i < epochs.size(); ++i) {
        const sim::SessionEpoch& truth = session.epochs[i];
        const std::vector<std::string> gga = epochs[i].First("$GPGGA");
        SCOPED_TRACE(epochs[i].Get("$GPGGA").front());
        const double t = std::stod(gga[1]);
        EXPECT_DOUBLE_EQ(std::trunc(t / 10000) * 3600 + std::fmod(std::trunc(t / 100), 100) * 60 +
                             std::fmod(t, 100),
                         truth.utcSecondOfDay);
        if (!truth.HasFix())
            continue;
        EXPECT_NEAR(NmeaDegrees(gga[2], gga[3]), truth.latitude, quantum);
        EXPECT_NEAR(NmeaDegrees(gga[4], gga[5]), truth.longitude, quantum);
        EXPECT_NEAR(std::stod(gga[9]), truth.altitude, 0.05 + 1e-9);
        EXPECT_LT(Metres(truth.trueLatitude, truth.trueLongitude, truth.latitude, truth.longitude),
                  allowed.at(truth.quality));
        EXPECT_NEAR(truth.speed, truth.trueSpeed, 0.12);
    }
}

TEST(SessionGeneratorTest, OptionsShapeTheSessionDeterministically) {
    sim::SessionOptions options;
    EXPECT_EQ(sim::GenerateSession(options), DefaultSession().lines);

    options.minutes = 2;
    options.pauseBeforeEpochs = {0, 75};
    const sim::Session shortSession = sim::SimulateSession(options);
    EXPECT_EQ(shortSession.epochs.size(), 120u);
    std::vector<std::size_t> pauses;
    for (std::size_t i = 0; i < shortSession.lines.size(); ++i)
        if (shortSession.lines[i].rfind("VEK PAUSE,", 0) == 0)
            pauses.push_back(i);
    ASSERT_EQ(pauses.size(), 2u);
    EXPECT_EQ(pauses[0], 0u);
    // The second pause stands right before the 76th epoch's first sentence.
    const std::string rmc = shortSession.lines[pauses[1] + 1];
    EXPECT_EQ(Fields(rmc)[0], "$GPRMC");
    EXPECT_DOUBLE_EQ(std::stod(Fields(rmc)[1]) - std::stod(Fields(shortSession.lines[1])[1]),
                     115.0);

    options = {};
    options.seed = 7;
    const sim::Session reseeded = sim::SimulateSession(options);
    ASSERT_EQ(reseeded.epochs.size(), DefaultSession().epochs.size());
    EXPECT_NE(reseeded.lines, DefaultSession().lines);
    EXPECT_DOUBLE_EQ(reseeded.epochs[200].trueLatitude, DefaultSession().epochs[200].trueLatitude);

    options = {};
    options.originLatitude = -33.9;  // southern and eastern hemispheres
    options.originLongitude = 151.2;
    const sim::Session south = sim::SimulateSession(options);
    const std::vector<std::string> gga = SplitEpochs(south.lines)[100].First("$GPGGA");
    ASSERT_EQ(gga[3], "S");
    EXPECT_EQ(gga[5], "E");
    EXPECT_NEAR(NmeaDegrees(gga[2], gga[3]), south.epochs[100].latitude, 1e-6);
}

// The whole session through the library's dispatcher gives positions, fix statuses and
// satellites as written.
TEST(SessionGeneratorTest, LibraryReadsTheSessionBack) {
    test::RecordingHost host;
    test::TestReceiver rx;
    const sim::Session& session = DefaultSession();
    for (const std::string& line : session.lines) {
        CString text = CString::FromBytes(line + "\r\n");
        rx.Parse(text);
    }
    host.Pump();
    EXPECT_EQ(rx.m_nChecksumErrors, 0);
    std::map<double, const sim::SessionEpoch*> byTime;
    for (const sim::SessionEpoch& e : session.epochs)
        byTime[e.utcSecondOfDay] = &e;
    std::set<int> statuses;
    int positions = 0;
    for (const auto& epoch : host.epochs) {
        if (!epoch->m_bPositionValid || epoch->m_nFixStatus == UDF_SIGNAL_NONE)
            continue;
        const sim::SessionEpoch* truth = byTime.at(epoch->m_dUTCTime);
        SCOPED_TRACE(truth->index);
        statuses.insert(epoch->m_nFixStatus);
        const double quantum = 0.5e-4 / 60.0 * kDegree + 1e-12;  // half the field's last digit
        EXPECT_NEAR(epoch->m_dLatitude, truth->latitude * kDegree, quantum);
        EXPECT_NEAR(epoch->m_dLongitude, truth->longitude * kDegree, quantum);
        EXPECT_EQ(epoch->m_nSatellitesUsed, truth->satellitesUsed);
        ++positions;
    }
    EXPECT_EQ(statuses, (std::set<int>{UDF_SIGNAL_GPS, UDF_SIGNAL_CORRECTED_GPS,
                                       UDF_SIGNAL_RTK_FIXED, UDF_SIGNAL_RTK_FLOAT}));
    int fixes = 0;
    for (const sim::SessionEpoch& e : session.epochs)
        fixes += e.HasFix() ? 1 : 0;
    EXPECT_EQ(positions, fixes);
}

// ---- the raw byte log

// Frames the bytes in uneven pieces, as reads from a port would cut them, and returns each
// message's bytes.
std::vector<std::string> Frame(const std::string& bytes) {
    std::vector<std::string> messages;
    CBinBuffer buffer;
    std::size_t at = 0;
    for (int piece = 1; at < bytes.size(); piece = piece % 97 + 13) {
        const std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(piece), bytes.size() - at);
        buffer.Append(bytes.data() + at, static_cast<int>(n));
        at += n;
        buffer.GetCurrentMessage();
        while (buffer.HasMessage()) {
            int length = 0;
            const char* message = buffer.GetMessageBin(length);
            messages.emplace_back(message, static_cast<std::size_t>(length));
            buffer.Next();
        }
        buffer.Resize();
    }
    return messages;
}

TEST(RawSampleTest, LogFramesIntoTheRecordsOfEachEpoch) {
    const sim::RawSession session = sim::GenerateRawSession({});
    ASSERT_EQ(session.epochs.size(), 30u);
    std::vector<std::string> expected;  // kind of each message, in order
    int weeks = 0;
    for (const sim::RawEpoch& epoch : session.epochs) {
        EXPECT_GE(epoch.measurements.size(), 4u);
        EXPECT_LE(epoch.measurements.size(), 6u);
        for (std::size_t k = 0; k < epoch.measurements.size(); ++k)
            EXPECT_EQ(epoch.measurements[k].lastOfEpoch, k + 1 == epoch.measurements.size());
        for (const CGPSDataEphemeris& e : epoch.ephemerides)
            weeks += e.m_nWeek > 0 ? 1 : 0;
        expected.insert(expected.end(), {"$GPGGA", "$GPVTG", "$GPZDA"});
        expected.insert(expected.end(), epoch.ephemerides.size(), "SNV");
        expected.insert(expected.end(), epoch.measurements.size(), "MBN");
        expected.push_back("PBN");
    }
    EXPECT_GE(weeks, 6);

    const std::map<std::string, std::size_t> lengths = {{"MBN", 54}, {"PBN", 68}, {"SNV", 144}};
    std::vector<std::string> kinds;
    for (const std::string& message : Frame(session.bytes)) {
        const std::string kind =
            message.rfind("$PASHR,", 0) == 0 ? message.substr(7, 3) : message.substr(0, 6);
        if (lengths.count(kind)) {
            EXPECT_EQ(message.size(), lengths.at(kind)) << kind;
        }
        kinds.push_back(kind);
    }
    EXPECT_EQ(kinds, expected);
}

TEST(RawSampleTest, LibraryDecodesTheEncodedValues) {
    test::RecordingHost host;
    test::TestReceiver rx;
    const sim::RawSession session = sim::GenerateRawSession({});
    for (const std::string& message : Frame(session.bytes)) {
        rx.AttachRawData(message.data(), static_cast<int>(message.size()));
        // As the engine hands it on: the bytes up to the first zero byte, then a line feed.
        CString text = CString::FromBytes(message.substr(0, message.find('\0')) + "\n");
        rx.Parse(text);
    }
    host.Pump();

    std::vector<CGPSDataEphemeris> sent;
    for (const sim::RawEpoch& epoch : session.epochs)
        sent.insert(sent.end(), epoch.ephemerides.begin(), epoch.ephemerides.end());
    ASSERT_EQ(host.ephemerides.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const CGPSDataEphemeris& got = *host.ephemerides[i];
        EXPECT_EQ(got.m_nPRN, sent[i].m_nPRN);
        EXPECT_EQ(got.m_nWeek, sent[i].m_nWeek);
        EXPECT_EQ(got.m_nToe, sent[i].m_nToe);
        EXPECT_EQ(got.m_nAODE, sent[i].m_nAODE);
        EXPECT_EQ(got.m_dM0, sent[i].m_dM0);
        EXPECT_EQ(got.m_dE, sent[i].m_dE);
        EXPECT_EQ(got.m_dRootA, sent[i].m_dRootA);
        EXPECT_EQ(got.m_dOmega0, sent[i].m_dOmega0);
        EXPECT_EQ(got.m_dCrc, sent[i].m_dCrc);  // single precision on the wire: exact as sent
        EXPECT_EQ(got.m_dAf0, sent[i].m_dAf0);
        EXPECT_EQ(got.m_dIDot, sent[i].m_dIDot);
    }

    ASSERT_EQ(host.rawEpochs.size(), session.epochs.size());
    for (std::size_t i = 0; i < session.epochs.size(); ++i) {
        const sim::RawEpoch& sentEpoch = session.epochs[i];
        const CGPSDataRaw& got = *host.rawEpochs[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(got.m_nGPSWeek, sentEpoch.gpsWeek);
        EXPECT_DOUBLE_EQ(got.m_dReceiverTime, sentEpoch.pbn.towMs * 0.001);
        EXPECT_EQ(got.m_dClockOffset, static_cast<double>(sentEpoch.pbn.clockOffset));
        EXPECT_NEAR(got.m_dLatitude, sentEpoch.latitude, 1e-8);
        EXPECT_NEAR(got.m_dLongitude, sentEpoch.longitude, 1e-8);
        EXPECT_NEAR(got.m_dHeight, sentEpoch.height, 0.01);
        ASSERT_EQ(got.m_nNumSV, static_cast<int>(sentEpoch.measurements.size()));
        for (int k = 0; k < got.m_nNumSV; ++k) {
            const sim::MbnValues& m = sentEpoch.measurements[static_cast<std::size_t>(k)];
            const CGPSSatelliteDataRaw& s = got.m_Satellites[k];
            EXPECT_EQ(s.m_nPRN, m.prn);
            EXPECT_DOUBLE_EQ(s.m_dRange, (1.0 - m.time) * kSpeedOfLight);
            EXPECT_GT(s.m_dRange, 2.0e7);  // a GPS satellite's distance plus the clock offset
            EXPECT_LT(s.m_dRange, 2.6e7);
            EXPECT_DOUBLE_EQ(s.m_dDoppler, m.doppler * -0.0001);
            EXPECT_DOUBLE_EQ(s.m_dPhase, -m.phase);
            EXPECT_EQ(s.m_nTag, static_cast<int>(m.tag * 0.002));
        }
    }
}

}  // namespace
}  // namespace tolvik
