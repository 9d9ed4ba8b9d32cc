// Writes the generated seed corpus: <folder>/<target>/seed-NNN for every fuzz target.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "FuzzTargets.h"
#include "SeedCorpus.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    namespace fs = std::filesystem;
    for (const auto& target : tolvik::fuzz::kTargets) {
        const fs::path folder = fs::path(argv[1]) / std::string(target.name);
        fs::create_directories(folder);
        int n = 0;
        for (const std::string& seed : tolvik::fuzz::SeedsFor(target.name)) {
            char name[32];
            std::snprintf(name, sizeof name, "seed-%03d", n++);
            std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
            out.write(seed.data(), static_cast<std::streamsize>(seed.size()));
            if (!out) {
                std::fprintf(stderr, "cannot write %s\n", (folder / name).c_str());
                return 1;
            }
        }
        std::printf("%-9s %d seeds\n", std::string(target.name).c_str(), n);
    }
    return 0;
}
