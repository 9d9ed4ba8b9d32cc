// The settings store (the INI file that keeps each receiver's baud rate). Two properties:
//  - any file content is read without crashing, and what the store makes of it is stable: its
//    text, read again, gives the same text; a value set in it then reads back from the file;
//  - entries built from the input (names and values a settings file can hold) are written one by
//    one and read back from the file unchanged, with names compared without regard to case.
#include <unistd.h>

#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "tolvik/platform/Profile.h"

namespace tolvik::fuzz {

namespace {

constexpr std::size_t kMaxEntries = 16;
constexpr int kProbeValue = 115200;

bool IsPrintable(const std::string& s) {
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

// Names and values as a settings file holds them: one printable line, no blanks at the ends
// (the reader trims them). A section name cannot be empty; an entry name cannot hold '=' or
// start like a comment or a section header.
bool IsValidValue(const std::string& s) {
    return IsPrintable(s) && (s.empty() || (s.front() != ' ' && s.back() != ' '));
}
bool IsValidSection(const std::string& s) { return !s.empty() && IsValidValue(s); }
bool IsValidEntry(const std::string& s) {
    return IsValidSection(s) && s.find('=') == std::string::npos && s.front() != ';' && s.front() != '#' &&
           s.front() != '[';
}

bool SameName(const std::string& a, const std::string& b) {
    return CString::FromBytes(a).CompareNoCase(CString::FromBytes(b)) == 0;
}

struct Entry {
    std::string section;
    std::string entry;
    std::string value;
};

void ArbitraryContent(const std::string& content) {
    const std::string path = WriteTempFile("settings.ini", content);
    CProfile profile;
    if (!profile.Open(path)) Fail("a regular settings file does not open");
    const std::string text = profile.ToText();
    CProfile again;
    again.FromText(text);
    if (again.ToText() != text) Fail("settings text changes when read again:\n" + text + "----\n" + again.ToText());

    if (!profile.SetInt(L"Garmin 17-N", L"Baud", kProbeValue)) Fail("cannot write the settings file");
    CProfile reread;
    if (!reread.Open(path) || reread.GetInt(L"Garmin 17-N", L"Baud", 0) != kProbeValue) {
        Fail("a baud rate written into a settings file does not read back");
    }
}

void RoundTrip(const std::string& content) {
    // Lines of the input, three at a time: section, entry, value. Triples that a settings file
    // cannot hold are left out.
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (start <= content.size() && fields.size() < 3 * kMaxEntries) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        fields.push_back(content.substr(start, end - start));
        start = end + 1;
    }
    std::vector<Entry> written;
    for (std::size_t i = 0; i + 2 < fields.size(); i += 3) {
        if (IsValidSection(fields[i]) && IsValidEntry(fields[i + 1]) && IsValidValue(fields[i + 2])) {
            written.push_back({fields[i], fields[i + 1], fields[i + 2]});
        }
    }

    const std::string path = TempFolder() + "/roundtrip.ini";
    unlink(path.c_str());
    CProfile profile;
    if (!profile.Open(path)) Fail("a missing settings file is not an empty store");
    for (const Entry& e : written) {
        if (!profile.SetString(CString::FromBytes(e.section), CString::FromBytes(e.entry),
                               CString::FromBytes(e.value))) {
            Fail("cannot write the settings file");
        }
    }
    CProfile reread;
    if (!reread.Open(path)) Fail("the settings file just written does not open");
    for (std::size_t i = 0; i < written.size(); ++i) {
        // The last value written under the same names (in any case) is the one in force.
        std::string expected = written[i].value;
        for (std::size_t j = i + 1; j < written.size(); ++j) {
            if (SameName(written[j].section, written[i].section) && SameName(written[j].entry, written[i].entry)) {
                expected = written[j].value;
            }
        }
        const CString sentinel = L"\x01(none)";
        const std::string got =
            reread.GetString(CString::FromBytes(written[i].section), CString::FromBytes(written[i].entry), sentinel)
                .ToBytes();
        if (got != expected) {
            Fail("[" + written[i].section + "] " + written[i].entry + " reads back as \"" + got + "\", written \"" +
                 expected + "\"\n" + reread.ToText());
        }
    }
}

}  // namespace

int FuzzSettings(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    SetUpOnce();
    const std::string content(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] & 1) {
        RoundTrip(content);
    } else {
        ArbitraryContent(content);
    }
    return 0;
}

}  // namespace tolvik::fuzz
