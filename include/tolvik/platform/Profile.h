// CProfile: a settings store of integers (and texts) by section and entry, kept in an INI file.
//
// Section and entry names compare without regard to case, as the settings stores of handheld
// hosts did. Every change is written to a temporary file beside the target, flushed and renamed
// over it, so a crash or a full disk leaves either the old or the new file, never a torn one.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tolvik/platform/CString.h"

namespace tolvik {

class CProfile {
public:
    CProfile() = default;

    // Binds the store to a file and reads it. A missing file is an empty store (true); an
    // unreadable one is reported with false and leaves the store empty.
    bool Open(const std::string& path);
    const std::string& GetPath() const { return m_path; }

    int GetInt(const CString& section, const CString& entry, int nDefault) const;
    CString GetString(const CString& section, const CString& entry, const CString& strDefault) const;
    // Stores the value and, when bound to a file, writes the file. False when writing failed
    // (the value is kept in memory all the same).
    bool SetInt(const CString& section, const CString& entry, int nValue);
    bool SetString(const CString& section, const CString& entry, const CString& value);

    // INI text of the store, and parsing of such text (lines without '=' outside a section
    // header are ignored; ';' and '#' start comment lines).
    std::string ToText() const;
    void FromText(const std::string& text);

private:
    struct Section {
        CString name;
        std::vector<std::pair<CString, CString>> entries;
    };
    const CString* Find(const CString& section, const CString& entry) const;
    bool Save() const;

    std::string m_path;
    std::vector<Section> m_sections;
};

}  // namespace tolvik
