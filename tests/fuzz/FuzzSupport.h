// What the fuzz targets share: a quiet host, a clock whose sleeps return at once, a private
// temporary folder, the receiver catalogue and a reproducible way to cut bytes into chunks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tolvik/engine/CGPSEngine.h"

namespace tolvik::fuzz {

// Installs the quiet host and the instant clock once per process. Message boxes are answered at
// once without output; the executable seems to live in TempFolder(), so the status map is read
// from there; sleeps and timed waits return at once (command sets pace with fixed sleeps).
void SetUpOnce();

// A folder of this process, created on first use (under TMPDIR, else /dev/shm, else /tmp) and
// removed at exit.
const std::string& TempFolder();
// Writes the bytes to a file in TempFolder(); returns its path.
std::string WriteTempFile(std::string_view name, std::string_view bytes);

// The engine of the process with the whole catalogue; its receivers are the models to fuzz.
CGPSEngine& Engine();
// The catalogue model for a selector byte (modulo the catalogue size).
CGPSReceiver* ModelFor(std::uint8_t selector);

// Cuts size bytes into chunk lengths, 1 to maxChunk each, drawn from seed.
std::vector<std::size_t> ChunkLengths(std::size_t size, std::size_t maxChunk, std::uint32_t seed);

// Prints the message and aborts: a property did not hold.
[[noreturn]] void Fail(const std::string& message);

}  // namespace tolvik::fuzz
