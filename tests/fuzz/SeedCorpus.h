// The seed corpus of the fuzz targets, generated from the project's own encoders: the sentence
// shapes receivers send, their replies to commands, binary raw-data records, whole generated
// sessions, status maps and settings files. Nothing is copied from recordings.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvik::fuzz {

// Seeds of one target (FuzzTargets.h), each already carrying the target's leading control bytes.
std::vector<std::string> SeedsFor(std::string_view target);

}  // namespace tolvik::fuzz
