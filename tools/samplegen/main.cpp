// tolvik_samplegen: writes the project's bundled sample recordings.
//
//   tolvik_samplegen [--nmea FILE] [--raw FILE] [--minutes N] [--seed S]
//
// Without --nmea and --raw it writes both files to their places in the repository, relative to
// the current directory (data/sample.log and data/sample-raw.bin; run it from the repository's
// root). With the default minutes and seed the output is the committed files, byte for byte.
// FILE "-" writes to standard output.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/SessionGenerator.h"

namespace {

constexpr const char* kUsage =
    "usage: tolvik_samplegen [--nmea FILE] [--raw FILE] [--minutes N] [--seed S]\n"
    "\n"
    "Writes the bundled sample recordings: an NMEA emulation file of a drive (one sentence a\n"
    "line) and a raw byte log with Ashtech-style MBN, PBN and SNV records. Without --nmea and\n"
    "--raw both are written to data/sample.log and data/sample-raw.bin under the current\n"
    "directory. FILE \"-\" is standard output.\n"
    "\n"
    "  --nmea FILE    write the NMEA session to FILE\n"
    "  --raw FILE     write the raw byte log to FILE\n"
    "  --minutes N    length of the NMEA session, 1 to 1440 minutes (default 6)\n"
    "  --seed S       seed of the receiver's noise, both files (default 20250314)\n"
    "  --help         show this text\n";

bool ParseNumber(const char* text, unsigned long long max, unsigned long long& value) {
    if (!text || !*text || *text == '-' || *text == '+') return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoull(text, &end, 10);
    return errno == 0 && *end == '\0' && value <= max;
}

bool WriteAll(const std::string& path, const std::string& bytes) {
    if (path == "-") return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "tolvik_samplegen: cannot create '%s': %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "tolvik_samplegen: cannot write '%s'\n", path.c_str());
        return false;
    }
    return true;
}

int UsageError(const char* message, const char* argument) {
    std::fprintf(stderr, "tolvik_samplegen: %s '%s'\n(try --help)\n", message, argument);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    tolvik::sim::SessionOptions session;
    tolvik::sim::RawSessionOptions raw;
    std::string nmeaPath, rawPath;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        const bool takesValue = option == "--nmea" || option == "--raw" || option == "--minutes" || option == "--seed";
        if (!takesValue) return UsageError("unknown option", argv[i]);
        if (i + 1 >= argc) return UsageError("missing value after", argv[i]);
        const char* value = argv[++i];
        unsigned long long number = 0;
        if (option == "--nmea") {
            nmeaPath = value;
        } else if (option == "--raw") {
            rawPath = value;
        } else if (option == "--minutes") {
            if (!ParseNumber(value, 1440, number) || number == 0)
                return UsageError("--minutes wants 1 to 1440, not", value);
            session.minutes = static_cast<int>(number);
        } else {
            if (!ParseNumber(value, ~0ull, number)) return UsageError("--seed wants a number, not", value);
            session.seed = raw.seed = number;
        }
    }
    if (nmeaPath.empty() && rawPath.empty()) {
        nmeaPath = "data/sample.log";
        rawPath = "data/sample-raw.bin";
    }
    if (!nmeaPath.empty() && !WriteAll(nmeaPath, tolvik::sim::JoinLines(tolvik::sim::GenerateSession(session))))
        return 1;
    if (!rawPath.empty() && !WriteAll(rawPath, tolvik::sim::GenerateRawSession(raw).bytes)) return 1;
    return 0;
}
