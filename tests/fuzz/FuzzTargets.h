// The fuzz targets: each takes one input of arbitrary bytes and either returns 0 or aborts.
//
// They run under libFuzzer in the fuzz build (one program per target, see FuzzMain.cpp) and, in
// every other build, over the committed regression inputs and the generated seeds
// (Regressions_test.cpp), so a finding that was fixed stays fixed under gcc too. A target aborts
// (after printing what differed) when a property it checks does not hold; crashes and sanitizer
// reports are findings of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tolvik::fuzz {

using FuzzTarget = int (*)(const std::uint8_t* data, std::size_t size);

// Framing: the same bytes framed after one append and after arbitrary chunks give the same
// messages. The first four bytes choose the chunking.
int FuzzFraming(const std::uint8_t* data, std::size_t size);
// Parse of one framed message by a catalogue model: the first byte picks the model, the rest is
// the message (its bytes attached as raw data, its text as the engine makes it).
int FuzzParse(const std::uint8_t* data, std::size_t size);
// The engine's byte path: the first byte picks the model, the second how the rest arrives
// (chunks through UpdateGPSBuffer, repeated, or as emulation lines through ReplayLine).
int FuzzEngine(const std::uint8_t* data, std::size_t size);
// The file readers: the first byte picks the status map "GPSStatus" or an emulation file; the
// rest is the file's content.
int FuzzFiles(const std::uint8_t* data, std::size_t size);
// The settings file: arbitrary contents are read, normalised and re-read stably; entries built
// from the input are written and read back unchanged.
int FuzzSettings(const std::uint8_t* data, std::size_t size);

struct NamedTarget {
    std::string_view name;  // also the folder of its seeds and regression inputs
    FuzzTarget function;
};
inline constexpr NamedTarget kTargets[] = {
    {"framing", FuzzFraming}, {"parse", FuzzParse},       {"engine", FuzzEngine},
    {"files", FuzzFiles},     {"settings", FuzzSettings},
};

}  // namespace tolvik::fuzz
