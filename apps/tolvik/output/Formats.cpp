// The formats behind --format: records, gpsd, gpx, nmea and the readable table.
#include <charconv>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

#include "Format.h"
#include "GpsdReports.h"
#include "Records.h"
#include "Text.h"

namespace tolvik::output {

namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;

// The tool's own objects. The satellite table goes out only when it changed since the last
// epoch written, the status block only when a reply updated it or a query was acknowledged:
// an epoch line stays short while the receiver simply streams.
class RecordsFormat final : public Format {
public:
    RecordsFormat(Sink& sink, bool showMessages) : m_sink(sink), m_showMessages(showMessages) {}

    void Epoch(const CGPSData& d) override {
        const bool satellites = !m_haveSatellites || !SameTable(d, m_last);
        const bool status = d.m_Status.m_bUpdated || d.m_Status.m_bAckReceived;
        m_sink.Write(EpochRecord(m_json, d, satellites, status));
        if (satellites) {
            std::copy(std::begin(d.m_Satellites), std::end(d.m_Satellites), std::begin(m_last.m_Satellites));
            m_haveSatellites = true;
        }
    }
    bool WantsMessages() const override { return m_showMessages; }
    void Message(std::string_view bytes) override {
        if (m_showMessages) m_sink.Write(TextRecord(m_json, bytes));
    }
    void RawEpoch(const CGPSDataRaw& raw) override { m_sink.Write(RawEpochRecord(m_json, raw)); }
    void Ephemeris(const CGPSDataEphemeris& e) override { m_sink.Write(EphemerisRecord(m_json, e)); }
    void Binary(const std::vector<unsigned>& words) override { m_sink.Write(BinaryRecord(m_json, words)); }

private:
    // Every slot, empty ones too: the records show the whole table.
    static bool SameTable(const CGPSData& a, const CGPSData& b) {
        for (int i = 0; i < CGPSData::kMaxSatellites; ++i) {
            const auto& x = a.m_Satellites[i];
            const auto& y = b.m_Satellites[i];
            if (x.m_nPRN != y.m_nPRN || x.m_dElevation != y.m_dElevation || x.m_dAzimuth != y.m_dAzimuth ||
                x.m_bUsed != y.m_bUsed || x.m_bInView != y.m_bInView || x.m_nSNR != y.m_nSNR) {
                return false;
            }
        }
        return true;
    }

    Sink& m_sink;
    bool m_showMessages;
    JsonLine m_json;
    CGPSData m_last;
    bool m_haveSatellites = false;
};

class GpsdFormat final : public Format {
public:
    explicit GpsdFormat(Sink& sink) : m_sink(sink), m_reporter("tolvik") {}
    void Epoch(const CGPSData& d) override { m_reporter.Epoch(d, m_sink); }
    bool WantsMessages() const override { return true; }
    bool DatesOnly() const override { return true; }
    void Message(std::string_view bytes) override { m_reporter.Message(bytes); }

private:
    Sink& m_sink;
    GpsdReporter m_reporter;
};

// A number rounded to the decimals given, shortest text.
void AppendNumber(std::string& out, double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, std::round(value * scale) / scale);
    out.append(text, r.ptr);
}

// A GPX 1.1 track: one segment for the run, a point for every epoch with a fix.
class GpxFormat final : public Format {
public:
    explicit GpxFormat(Sink& sink) : m_sink(sink) {
        m_sink.Write(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<gpx version=\"1.1\" creator=\"tolvik\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
            "<trk><name>tolvik</name><trkseg>\n");
    }
    ~GpxFormat() override { Finish(); }

    void Epoch(const CGPSData& d) override {
        const int mode = GpsdMode(d);
        if (mode < 2) return;
        std::string& p = m_point;
        p.assign("<trkpt lat=\"");
        AppendNumber(p, d.m_dLatitude * kDegrees, 9);
        p += "\" lon=\"";
        AppendNumber(p, d.m_dLongitude * kDegrees, 9);
        p += "\"><ele>";
        AppendNumber(p, d.m_dAltitude, 4);
        p += "</ele><time>";
        char time[32];
        p.append(time, static_cast<std::size_t>(IsoTime(m_date.Date(), d.m_dUTCTime, time)));
        p += "</time><fix>";
        const int status = GpsdStatus(d.m_nFixStatus);
        p += (status >= 2 && status <= 4) ? "dgps" : mode == 3 ? "3d" : "2d";
        p += "</fix><sat>";
        p += std::to_string(d.m_nSatellitesUsed);
        p += "</sat>";
        if (d.m_dHDOP > 0.0) {
            p += "<hdop>";
            AppendNumber(p, d.m_dHDOP, 2);
            p += "</hdop>";
        }
        p += "</trkpt>\n";
        m_sink.Write(p);
    }
    bool WantsMessages() const override { return true; }
    bool DatesOnly() const override { return true; }
    void Message(std::string_view bytes) override { m_date.Observe(bytes); }
    void Finish() override {
        if (m_finished) return;
        m_finished = true;
        m_sink.Write("</trkseg></trk>\n</gpx>\n");
    }

private:
    Sink& m_sink;
    FixDate m_date;
    std::string m_point;
    bool m_finished = false;
};

// The messages exactly as received; nothing added.
class NmeaFormat final : public Format {
public:
    explicit NmeaFormat(Sink& sink) : m_sink(sink) {}
    void Epoch(const CGPSData&) override {}
    bool WantsMessages() const override { return true; }
    void Message(std::string_view bytes) override { m_sink.Write(bytes); }

private:
    Sink& m_sink;
};

class TableFormat final : public Format {
public:
    TableFormat(Sink& sink, bool showMessages) : m_sink(sink), m_showMessages(showMessages) {}
    void Epoch(const CGPSData& d) override { Line(EpochLine(d)); }
    bool WantsMessages() const override { return m_showMessages; }
    void Message(std::string_view bytes) override {
        if (!m_showMessages) return;
        while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r' || bytes.back() == ' ')) {
            bytes.remove_suffix(1);
        }
        Line("text  " + ToUtf8(CString::FromBytes(bytes.data(), static_cast<int>(bytes.size()))));
    }
    void RawEpoch(const CGPSDataRaw& raw) override { Line(RawEpochLine(raw)); }
    void Ephemeris(const CGPSDataEphemeris& e) override { Line(EphemerisLine(e)); }
    void Binary(const std::vector<unsigned>& words) override {
        Line("binary  " + std::to_string(words.size()) + " words");
    }

private:
    void Line(std::string text) {
        text += '\n';
        m_sink.Write(text);
    }
    Sink& m_sink;
    bool m_showMessages;
};

}  // namespace

const char* FormatNames() { return "records, gpsd, gpx, nmea, table"; }

std::unique_ptr<Format> MakeFormat(std::string_view name, Sink& sink, bool showMessages) {
    if (name == "records") return std::make_unique<RecordsFormat>(sink, showMessages);
    if (name == "gpsd") return std::make_unique<GpsdFormat>(sink);
    if (name == "gpx") return std::make_unique<GpxFormat>(sink);
    if (name == "nmea") return std::make_unique<NmeaFormat>(sink);
    if (name == "table") return std::make_unique<TableFormat>(sink, showMessages);
    throw std::invalid_argument("unknown format '" + std::string(name) + "' (one of " + FormatNames() + ")");
}

}  // namespace tolvik::output
