#include "Output.h"

#include <stdexcept>

#include "Cli.h"
#include "output/JsonLine.h"
#include "output/Records.h"

namespace tolvik::tool {

nlohmann::ordered_json EpochJson(const CGPSData& data) {
    output::JsonLine line;
    return nlohmann::ordered_json::parse(output::EpochRecord(line, data, true, true));
}

nlohmann::ordered_json StatusJson(const CGPSStatusData& status) {
    output::JsonLine line;
    return nlohmann::ordered_json::parse(output::StatusRecord(line, status));
}

Printer::Printer(std::FILE* out, bool json, bool showMessages)
    : Printer(out, std::string(json ? "records" : "table"), showMessages) {}

Printer::Printer(std::FILE* out, const std::string& format, bool showMessages)
    : m_sink(out, false), m_format(output::MakeFormat(format, m_sink, showMessages)) {}

Printer::Printer(std::unique_ptr<output::Format> format) : m_sink(stdout, false), m_format(std::move(format)) {}

Printer::~Printer() { Finish(); }

void Printer::Finish() { m_format->Finish(); }

void Printer::Epoch(const CGPSData& data) {
    ++epochs;
    if (data.m_bPositionValid) ++positions;
    m_format->Epoch(data);
}

void Printer::RawEpoch(const CGPSDataRaw& raw) {
    ++rawEpochs;
    m_format->RawEpoch(raw);
}

void Printer::Ephemeris(const CGPSDataEphemeris& ephemeris) {
    ++ephemerides;
    m_format->Ephemeris(ephemeris);
}

void Printer::Binary(const std::vector<unsigned>& words) {
    ++binaries;
    m_format->Binary(words);
}

void Printer::Text(const CString& text) { Text(text.ToBytes()); }

void Printer::Text(std::string_view bytes) {
    ++texts;
    m_format->Message(bytes);
}

std::string FormatOption(bool json, const std::string& format) {
    if (json && !format.empty() && format != "records") throw UsageError("--json is --format records, not " + format);
    if (json) return "records";
    if (format.empty()) return "table";
    try {
        output::StringSink probe;
        output::MakeFormat(format, probe);
    } catch (const std::invalid_argument& e) {
        throw UsageError(std::string("--format: ") + e.what());
    }
    return format;
}

}  // namespace tolvik::tool
