#include "ConsoleHost.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>

#include "Cli.h"
#include "tolvik/platform/Clock.h"

namespace tolvik::tool {

namespace {
constexpr UINT WM_TOOL_SENTENCE = WM_APP + 0x100;  // the next of ConsoleHost::m_sentences
}  // namespace

class ConsoleHost::MainWindow : public CWnd {
public:
    explicit MainWindow(ConsoleHost& host) : m_host(host) { CreateOnThisThread(); }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_GPS_NEWDATA: {
                std::unique_ptr<CGPSData> data(reinterpret_cast<CGPSData*>(wParam));
                m_host.m_printer.Epoch(*data);
                break;
            }
            case WM_GPS_RAWSTRING: {
                std::unique_ptr<CString> text(reinterpret_cast<CString*>(wParam));
                m_host.m_printer.Text(*text);
                break;
            }
            case WM_TOOL_SENTENCE: {
                std::string sentence = std::move(m_host.m_sentences.front());
                m_host.m_sentences.pop_front();
                m_host.m_printer.Text(std::string_view(sentence));
                m_host.m_spare.push_back(std::move(sentence));
                break;
            }
            case WM_GPS_NEWDATARAW: {
                std::unique_ptr<CGPSDataRaw> raw(reinterpret_cast<CGPSDataRaw*>(wParam));
                m_host.m_printer.RawEpoch(*raw);
                for (CDataLog* log : m_host.m_rawLogs) log->LogEpoch(*raw);
                break;
            }
            case WM_GPS_EPHEMERIS: {
                std::unique_ptr<CGPSDataEphemeris> ephemeris(reinterpret_cast<CGPSDataEphemeris*>(wParam));
                m_host.m_printer.Ephemeris(*ephemeris);
                for (CDataLog* log : m_host.m_rawLogs) log->LogEphemeris(*ephemeris);
                break;
            }
            case WM_GPS_BINARY: {
                // Each record comes with its own copy of the words (the host opted in).
                std::unique_ptr<CGPSBinaryRecord> record(reinterpret_cast<CGPSBinaryRecord*>(lParam));
                std::vector<unsigned> words;
                if (record) words.assign(record->m_Words.begin(), record->m_Words.end());
                m_host.m_printer.Binary(words);
                break;
            }
            case WM_GPS_DEVICE:
                std::fprintf(stderr, wParam == GPS_DEVICE_LOST
                                         ? "tolvik: the device is gone; waiting for it to come back\n"
                                         : "tolvik: the device is back\n");
                break;
            default:
                break;
        }
        return 0;
    }

private:
    ConsoleHost& m_host;
};

ConsoleHost::ConsoleHost(Printer& printer, bool interactiveBoxes)
    : m_printer(printer), m_bInteractive(interactiveBoxes), m_pWindow(std::make_unique<MainWindow>(*this)) {
    SetMainWnd(m_pWindow.get());
    SetHostApp(this);
    CGPSReceiver::SetBinaryRecordCopies(true);
}

ConsoleHost::~ConsoleHost() {
    SetHostApp(nullptr);
    SetMainWnd(nullptr);
    m_pWindow->DestroyWindow();
}

void ConsoleHost::PostSentence(std::string_view line) {
    std::string sentence;
    if (!m_spare.empty()) {
        sentence = std::move(m_spare.back());
        m_spare.pop_back();
    }
    sentence.assign(line);
    sentence += "\r\n";  // as the library frames it
    m_sentences.push_back(std::move(sentence));
    if (!m_pWindow->PostMessage(WM_TOOL_SENTENCE)) m_sentences.pop_back();
}

int ConsoleHost::DoMessageBox(const CString& text, UINT) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::fprintf(stderr, "tolvik: %s\n", ToUtf8(text).c_str());
    if (m_bInteractive && isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "press Enter to continue ");
        // Ctrl-C ends the prompt as well as Enter: the run is being stopped, nobody will answer.
        const int fds[] = {STDIN_FILENO, InterruptEvent().Descriptor()};
        if (platform::GetClock().WaitReadable(fds, 2, INFINITE) == 0) {
            std::string line;
            std::getline(std::cin, line);
        } else {
            std::fputc('\n', stderr);
        }
    }
    return IDOK;
}

std::string DefaultSettingsPath() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::string(xdg) + "/tolvik/settings.ini";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config/tolvik/settings.ini";
    return "tolvik-settings.ini";
}

}  // namespace tolvik::tool
