#include "FixDate.h"

#include <cmath>

#include "tolvik/platform/Clock.h"

namespace tolvik::output {

namespace {

constexpr int kRmcDateField = 9;        // ddmmyy
constexpr int kZdaDayField = 2;         // dd, then mm, then yyyy
constexpr int kTwoDigitYearPivot = 80;  // "yy" below it is 20yy, else 19yy
constexpr std::size_t kTypeOffset = 3;  // "$GP" before the sentence type

int Digit(char c) { return c >= '0' && c <= '9' ? c - '0' : -1; }

// A field of digits only as a number, -1 when empty or anything else.
int Number(std::string_view field) {
    if (field.empty() || field.size() > 4) return -1;
    int value = 0;
    for (const char c : field) {
        const int d = Digit(c);
        if (d < 0) return -1;
        value = value * 10 + d;
    }
    return value;
}

bool ChecksumValid(std::string_view s, std::string_view& body) {
    const auto star = s.rfind('*');
    if (star == std::string_view::npos || star + 3 > s.size()) return false;
    unsigned sum = 0;
    for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(s[i]);
    auto hex = [](char c) {
        return c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : Digit(c);
    };
    const int hi = hex(s[star + 1]);
    const int lo = hex(s[star + 2]);
    if (hi < 0 || lo < 0 || static_cast<unsigned>(hi * 16 + lo) != sum) return false;
    body = s.substr(0, star);
    return true;
}

// The index-th comma-separated field of the sentence body (0 is "$GPRMC").
std::string_view Field(std::string_view body, int index) {
    std::size_t start = 0;
    for (int i = 0; i < index; ++i) {
        start = body.find(',', start);
        if (start == std::string_view::npos) return {};
        ++start;
    }
    const auto end = body.find(',', start);
    return body.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

bool Plausible(const CivilDate& d) { return d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= 31; }

}  // namespace

void FixDate::Observe(std::string_view s) {
    if (s.size() < 7 || s[0] != '$') return;
    const std::string_view type = s.substr(kTypeOffset, 3);
    if (type != "RMC" && type != "ZDA") return;
    std::string_view body;
    if (!ChecksumValid(s, body)) return;
    CivilDate d;
    if (type == "RMC") {
        const std::string_view f = Field(body, kRmcDateField);
        if (f.size() != 6) return;
        const int yy = Number(f.substr(4, 2));
        d = {yy < kTwoDigitYearPivot ? 2000 + yy : 1900 + yy, Number(f.substr(2, 2)), Number(f.substr(0, 2))};
        if (yy < 0) return;
    } else {
        d = {Number(Field(body, kZdaDayField + 2)), Number(Field(body, kZdaDayField + 1)),
             Number(Field(body, kZdaDayField))};
        if (d.year < 1980) return;
    }
    if (!Plausible(d)) return;
    m_date = d;
    m_known = true;
}

CivilDate FixDate::Date() const {
    if (m_known) return m_date;
    return CivilFromDays(platform::GetClock().Now() / kSecondsPerDay);
}

int IsoTime(const CivilDate& date, double secondsOfDay, char* out) {
    auto ms = static_cast<std::int64_t>(std::llround(secondsOfDay * 1000.0));
    std::int64_t days = DaysFromCivil(date);
    // A time of day that rounds up to midnight belongs to the next day.
    days += ms / (kSecondsPerDay * 1000);
    ms %= kSecondsPerDay * 1000;
    if (ms < 0) {
        ms += kSecondsPerDay * 1000;
        --days;
    }
    const CivilDate d = CivilFromDays(days);
    const auto put = [&out](int value, int width) {
        for (int i = width - 1; i >= 0; --i) {
            out[i] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
        out += width;
    };
    char* const start = out;
    const auto msOfDay = static_cast<int>(ms);
    put(d.year, 4);
    *out++ = '-';
    put(d.month, 2);
    *out++ = '-';
    put(d.day, 2);
    *out++ = 'T';
    put(msOfDay / 3600000, 2);
    *out++ = ':';
    put(msOfDay / 60000 % 60, 2);
    *out++ = ':';
    put(msOfDay / 1000 % 60, 2);
    *out++ = '.';
    put(msOfDay % 1000, 3);
    *out++ = 'Z';
    return static_cast<int>(out - start);
}

}  // namespace tolvik::output
