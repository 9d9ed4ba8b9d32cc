// Output formats of the tool: what replay, monitor and serve write for the records the library
// posts. A format turns records into bytes and hands them to a Sink, line by line, so the same
// format writes to a file, a pipe or a server's report stream.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tolvik/records/GPSData.h"
#include "tolvik/records/GPSDataRaw.h"

namespace tolvik::output {

// Where a format's bytes go. Each Write is whole lines.
class Sink {
public:
    virtual ~Sink() = default;
    virtual void Write(std::string_view bytes) = 0;
};

// Buffered writes to a stdio stream. With flushEachWrite every record leaves at once (output
// read through a pipe while the receiver runs); otherwise stdio's buffer decides.
class FileSink final : public Sink {
public:
    FileSink(std::FILE* file, bool flushEachWrite) : m_file(file), m_flush(flushEachWrite) {}
    void Write(std::string_view bytes) override {
        std::fwrite(bytes.data(), 1, bytes.size(), m_file);
        if (m_flush) std::fflush(m_file);
    }

private:
    std::FILE* m_file;
    bool m_flush;
};

// Collects everything in a string (tests, benchmarks).
class StringSink final : public Sink {
public:
    void Write(std::string_view bytes) override { text.append(bytes); }
    std::string text;
};

class Format {
public:
    virtual ~Format() = default;

    // A posted epoch.
    virtual void Epoch(const CGPSData& data) = 0;
    // One framed message as received (8-bit bytes, line end included). The host forwards them
    // only to formats that want them: the fix date comes from RMC and ZDA, nmea passes them on,
    // records and table show them when asked to (--text).
    virtual void Message(std::string_view bytes) { (void)bytes; }
    virtual bool WantsMessages() const { return false; }
    // Message looks at RMC and ZDA sentences only (the fix date): a host that holds the
    // sentences itself may hand over just those, each in its place among the epochs, instead of
    // having every framed message forwarded.
    virtual bool DatesOnly() const { return false; }
    virtual void RawEpoch(const CGPSDataRaw& raw) { (void)raw; }
    virtual void Ephemeris(const CGPSDataEphemeris& ephemeris) { (void)ephemeris; }
    virtual void Binary(const std::vector<unsigned>& words) { (void)words; }
    // The run is over: close what the format keeps open (the GPX document).
    virtual void Finish() {}
};

// "records", "gpsd", "gpx", "nmea" or "table"; std::invalid_argument naming the choices otherwise.
// showMessages: records and table also show every framed message.
std::unique_ptr<Format> MakeFormat(std::string_view name, Sink& sink, bool showMessages = false);
// The names MakeFormat knows, for help texts and messages.
const char* FormatNames();

}  // namespace tolvik::output
