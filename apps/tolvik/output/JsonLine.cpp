#include "JsonLine.h"

#include <charconv>
#include <cmath>

namespace tolvik::output {

namespace {
constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12};
}  // namespace

void JsonLine::Double(double value) {
    if (!std::isfinite(value)) {
        m_writer.Null();
        return;
    }
    // std::to_chars without a precision is the shortest round-trip form; RapidJSON's own Grisu2
    // round-trips too but is not always the shortest.
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    m_writer.RawValue(text, static_cast<std::size_t>(result.ptr - text), rapidjson::kNumberType);
}

void JsonLine::Rounded(double value, int decimals) {
    const double scale = kPowersOfTen[decimals];
    const double scaled = value * scale;
    // Beyond 2^53 the double has no fraction left to round.
    Double(std::fabs(scaled) < 9007199254740992.0 ? std::round(scaled) / scale : value);
}

}  // namespace tolvik::output
