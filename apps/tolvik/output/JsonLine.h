// One JSON object a line, written straight into a reusable buffer by RapidJSON's streaming
// Writer: no tree per record, no escaping or number formatting of our own.
#pragma once

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdint>
#include <string_view>

namespace tolvik::output {

class JsonLine {
public:
    JsonLine() : m_writer(m_buffer) {}

    // Starts a new line: the previous text is dropped, the buffer's memory is kept.
    void Begin() {
        m_buffer.Clear();
        m_writer.Reset(m_buffer);
        m_writer.StartObject();
    }
    // Closes the object and returns the line, '\n' included.
    std::string_view End() {
        m_writer.EndObject();
        m_buffer.Put('\n');
        return {m_buffer.GetString(), m_buffer.GetSize()};
    }

    JsonLine& Key(std::string_view name) {
        m_writer.Key(name.data(), static_cast<rapidjson::SizeType>(name.size()));
        return *this;
    }
    void String(std::string_view text) { m_writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size())); }
    void Int(std::int64_t value) { m_writer.Int64(value); }
    void Bool(bool value) { m_writer.Bool(value); }
    void Null() { m_writer.Null(); }
    // The shortest text that reads back as the same double; null when it is not finite.
    void Double(double value);
    // The value rounded to this many decimals, then printed shortest ("52.219065", not
    // "52.21906500000001"): for formats whose readers expect a fixed precision.
    void Rounded(double value, int decimals);
    // A complete JSON value written by someone else, embedded as it is.
    void Raw(std::string_view json) { m_writer.RawValue(json.data(), json.size(), rapidjson::kObjectType); }
    void StartObject() { m_writer.StartObject(); }
    void EndObject() { m_writer.EndObject(); }
    void StartArray() { m_writer.StartArray(); }
    void EndArray() { m_writer.EndArray(); }

    // Key and value in one call.
    void Field(std::string_view name, std::string_view text) { Key(name).String(text); }
    void Field(std::string_view name, const char* text) { Key(name).String(text); }
    void Field(std::string_view name, double value) { Key(name).Double(value); }
    void Field(std::string_view name, std::int32_t value) { Key(name).Int(value); }
    void Field(std::string_view name, std::int64_t value) { Key(name).Int(value); }
    void Field(std::string_view name, bool value) { Key(name).Bool(value); }

private:
    rapidjson::StringBuffer m_buffer;
    rapidjson::Writer<rapidjson::StringBuffer> m_writer;
};

}  // namespace tolvik::output
