// What the tool prints for each posted message, in the format chosen with --format (see
// output/Format.h); the Printer counts what it was given for the run's summary.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "output/Format.h"
#include "output/Text.h"
#include "tolvik/platform/CString.h"
#include "tolvik/records/GPSData.h"
#include "tolvik/records/GPSDataRaw.h"

namespace tolvik::tool {

using output::EphemerisLine;
using output::EpochLine;
using output::FixName;
using output::RawEpochLine;
using output::ToUtf8;

// The records objects as JSON values, for code that wants to look into them (full epoch with
// its satellites and status).
nlohmann::ordered_json EpochJson(const CGPSData& data);
nlohmann::ordered_json StatusJson(const CGPSStatusData& status);

// Counts and prints what the library posts.
class Printer {
public:
    // "records" with json, else "table"; --text shows every framed message.
    Printer(std::FILE* out, bool json, bool showMessages = false);
    // One of output::FormatNames(); std::invalid_argument otherwise.
    Printer(std::FILE* out, const std::string& format, bool showMessages);
    // Any other format (the server's report stream).
    explicit Printer(std::unique_ptr<output::Format> format);
    ~Printer();

    // Whether the host must forward every framed message (WM_GPS_RAWSTRING) to Text.
    bool WantsMessages() const { return m_format->WantsMessages(); }
    // Whether of those messages only the RMC and ZDA sentences matter (output::Format::DatesOnly).
    bool DatesOnly() const { return m_format->DatesOnly(); }

    void Epoch(const CGPSData& data);
    void RawEpoch(const CGPSDataRaw& raw);
    void Ephemeris(const CGPSDataEphemeris& ephemeris);
    void Binary(const std::vector<unsigned>& words);
    void Text(const CString& text);
    // A framed message as its bytes, line end included.
    void Text(std::string_view bytes);
    // The run is over (closes a GPX document); the destructor does it too.
    void Finish();

    long epochs = 0;
    long positions = 0;
    long rawEpochs = 0;
    long ephemerides = 0;
    long binaries = 0;
    long texts = 0;

private:
    output::FileSink m_sink;
    std::unique_ptr<output::Format> m_format;
};

// The value of --format (or its alias --json; "table" without either), checked.
std::string FormatOption(bool json, const std::string& format);

}  // namespace tolvik::tool
