// Command-line parsing and the pieces the tool's commands share.
#pragma once

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "tolvik/engine/CGPSEngine.h"
#include "tolvik/platform/Sync.h"

namespace tolvik::tool {

// A command line that does not make sense: reported with exit code 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

class Args {
public:
    // valueOptions take a value ("--receiver NAME" or "--receiver=NAME"); flags do not.
    Args(const std::vector<std::string>& words, const std::set<std::string>& valueOptions,
         const std::set<std::string>& flags, std::size_t maxPositional);

    bool Has(const std::string& name) const { return m_flags.count(name) || m_values.count(name); }
    std::string Value(const std::string& name, const std::string& fallback = "") const;
    int Int(const std::string& name, int fallback) const;
    double Double(const std::string& name, double fallback) const;
    const std::vector<std::string>& Positional() const { return m_positional; }

private:
    std::set<std::string> m_flags;
    std::map<std::string, std::string> m_values;
    std::vector<std::string> m_positional;
};

// Set by Ctrl-C (SIGINT) and SIGTERM once InstallInterruptHandler has run.
platform::Event& InterruptEvent();
void InstallInterruptHandler();

// The recording bundled with the project.
std::string BundledSamplePath();

// The receiver with exactly this display name; UsageError naming the choices otherwise.
CGPSReceiver* ReceiverByName(CGPSEngine& engine, const std::string& name);

// Receiver settings shared by replay and monitor.
struct ReceiverSettings {
    int geoidMode = 0;
    double antennaHeight = 0.0;
    int minSatellites = 4;
};
ReceiverSettings ReadReceiverSettings(const Args& args);

// Opens the raw epoch log named after --log-raw-epochs BASE (time-stamped), when asked for;
// returns false after reporting a file that cannot be created.
class CRawEpochLog;
bool OpenRawEpochLog(const Args& args, CRawEpochLog& log, int port, double antennaHeight);

// The end of a run, once the engine has stopped: delivers what it posted last, then the summary
// on stderr (messages, checksum errors, overflows, epochs; raw counts when there were any) and
// the raw epoch log's status when one was written.
class ConsoleHost;
class Printer;
bool FinishRun(ConsoleHost& host, const CGPSEngine& engine, const CGPSReceiver& receiver, const Printer& printer,
               CRawEpochLog& rawLog);

int RunReplay(const std::vector<std::string>& words);
int RunMonitor(const std::vector<std::string>& words);
int RunSimulate(const std::vector<std::string>& words);
int RunReceivers(const std::vector<std::string>& words);
int RunServe(const std::vector<std::string>& words);

}  // namespace tolvik::tool
