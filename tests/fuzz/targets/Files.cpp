// The two text files the library reads: the fix-status map "GPSStatus" beside the executable and
// an emulation file. Whatever they contain, reading them must not crash; a status map holds only
// fix status codes afterwards, and GGA sentences of every quality are then read through it; the
// emulation file reads the same lines again after it is rewound (the endless replay), and every
// line replays through the engine.
#include <cstdio>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "tolvik/framing/CTextFile.h"
#include "tolvik/models/COtherGps.h"
#include "tolvik/records/GPSData.h"

namespace tolvik::fuzz {

namespace {

constexpr int kQualities = 10;  // GGA quality numbers 0-9 exercise the map and the fixed tables

CString GgaWithQuality(int quality) {
    std::string body =
        "GPGGA,101530.00,6407.6980,N,02151.4200,W," + std::to_string(quality) + ",08,0.9,45.3,M,65.8,M,,";
    unsigned sum = 0;
    for (const char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return CString::FromBytes("$" + body + tail);
}

void FuzzStatusMap(const std::string& content) {
    WriteTempFile("GPSStatus", content);
    COtherGps receiver;  // a fresh map for every input
    receiver.LoadAlternatGPSStatusStrings();
    for (const auto& [quality, code] : receiver.m_StatusStrings) {
        if (code < 0 || code >= kFixStatusCount) {
            Fail("status map gives quality " + std::to_string(quality) + " the code " + std::to_string(code));
        }
    }
    for (int quality = 0; quality < kQualities; ++quality) {
        CString gga = GgaWithQuality(quality);
        receiver.Parse(gga);
    }
}

std::vector<CString> ReadAllLines(CTextFile& file) {
    std::vector<CString> lines;
    CString line;
    while (file.ReadString(line)) lines.push_back(line);
    return lines;
}

void FuzzEmulationFile(const std::uint8_t selector, const std::string& content) {
    const std::string path = WriteTempFile("Emulation.log", content);
    CTextFile file(false, false);
    if (!file.Open(CString::FromBytes(path), CTextFile::modeRead | CTextFile::typeText, nullptr)) {
        Fail("cannot open the emulation file just written");
    }
    const std::vector<CString> lines = ReadAllLines(file);
    std::size_t characters = 0;
    for (const CString& line : lines) characters += static_cast<std::size_t>(line.GetLength());
    if (characters > content.size()) Fail("the lines of an emulation file hold more than the file");
    file.SeekToBegin();
    if (ReadAllLines(file) != lines) Fail("an emulation file reads differently after rewinding");

    CGPSEngine& engine = Engine();
    engine.m_pReceiver = ModelFor(selector);
    engine.m_Buffer.Clear();
    for (const CString& line : lines) engine.ReplayLine(line);
}

}  // namespace

int FuzzFiles(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    SetUpOnce();
    const std::string content(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] & 1) {
        FuzzEmulationFile(static_cast<std::uint8_t>(data[0] >> 1), content);
    } else {
        FuzzStatusMap(content);
    }
    return 0;
}

}  // namespace tolvik::fuzz
