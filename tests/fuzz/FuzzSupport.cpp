#include "FuzzSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

#include "tolvik/platform/Clock.h"
#include "tolvik/platform/Host.h"

namespace tolvik::fuzz {

namespace {

class QuietHost final : public CWinApp {
public:
    int DoMessageBox(const CString&, UINT) override { return IDOK; }
    CString GetModuleFileName() const override { return CString::FromBytes(TempFolder() + "/fuzzhost"); }
};

// Time moves only when someone sleeps or waits, and nobody ever really waits: a fuzz run must
// not spend its seconds in the fixed pauses of the command sets.
class InstantClock final : public platform::Clock {
public:
    std::uint64_t MonotonicMs() override { return m_ms; }
    std::int64_t Now() override { return 1741946400 + static_cast<std::int64_t>(m_ms / 1000); }
    void Sleep(DWORD ms) override { m_ms += ms; }
    int WaitReadable(const int*, int, DWORD timeoutMs) override {
        if (timeoutMs != INFINITE) m_ms += timeoutMs;
        return -1;
    }

private:
    std::uint64_t m_ms = 0;
};

class TempFolderOwner {
public:
    TempFolderOwner() {
        const char* base = std::getenv("TMPDIR");
        std::error_code ec;
        std::filesystem::path root = base && *base ? base : "";
        if (root.empty()) root = std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : "/tmp";
        std::string pattern = (root / "tolvik-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) Fail("cannot create a temporary folder under " + root.string());
        m_path = pattern;
    }
    ~TempFolderOwner() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempFolderOwner(const TempFolderOwner&) = delete;
    TempFolderOwner& operator=(const TempFolderOwner&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace

void SetUpOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        static QuietHost host;
        static InstantClock clock;
        SetHostApp(&host);
        platform::SetClock(&clock);
    });
}

const std::string& TempFolder() {
    static TempFolderOwner folder;
    return folder.Path();
}

std::string WriteTempFile(std::string_view name, std::string_view bytes) {
    const std::string path = TempFolder() + "/" + std::string(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) Fail("cannot write " + path);
    return path;
}

CGPSEngine& Engine() {
    SetUpOnce();
    // Never destroyed: its destructor would stop and suspend every receiver at exit.
    static CGPSEngine* engine = new CGPSEngine;
    return *engine;
}

CGPSReceiver* ModelFor(std::uint8_t selector) {
    const auto& receivers = Engine().Receivers();
    auto it = receivers.begin();
    std::advance(it, static_cast<long>(selector % receivers.size()));
    return *it;
}

std::vector<std::size_t> ChunkLengths(std::size_t size, std::size_t maxChunk, std::uint32_t seed) {
    std::vector<std::size_t> lengths;
    if (maxChunk == 0) maxChunk = 1;
    std::uint32_t state = seed | 1u;
    while (size > 0) {
        state ^= state << 13;  // xorshift32: reproducible, and cheap enough for every input
        state ^= state >> 17;
        state ^= state << 5;
        const std::size_t n = std::min<std::size_t>(size, 1 + state % maxChunk);
        lengths.push_back(n);
        size -= n;
    }
    return lengths;
}

void Fail(const std::string& message) {
    std::fprintf(stderr, "fuzz property failed: %s\n", message.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace tolvik::fuzz
