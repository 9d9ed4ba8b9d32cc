// The tool's host application: its main window takes the records the library posts and hands
// them to a Printer (binary records as their own copies); message boxes and the loss and return
// of the device go to standard error.
#pragma once

#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Output.h"
#include "tolvik/datalog/CDataLog.h"
#include "tolvik/platform/Host.h"
#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik::tool {

class ConsoleHost : public CWinApp {
public:
    // Installs itself as the library's host and creates its main window on this thread.
    ConsoleHost(Printer& printer, bool interactiveBoxes);
    ~ConsoleHost() override;

    // The receiver in use.
    void SetReceiver(CGPSReceiver* pReceiver) { m_pReceiver = pReceiver; }
    // A logger that also gets every raw epoch and ephemeris (several may be added; null is ignored).
    void SetRawLog(CDataLog* pLog) {
        if (pLog) m_rawLogs.push_back(pLog);
    }
    // Dispatches everything waiting for the main window.
    int Pump() { return PumpWaitingMessages(); }
    // Queues a sentence the tool read itself (bytes without line end) for the printer's Text,
    // behind what the library posted so far, so that it arrives in its place among the epochs.
    // On the main window's thread only.
    void PostSentence(std::string_view line);

    int DoMessageBox(const CString& text, UINT nType) override;

private:
    class MainWindow;
    Printer& m_printer;
    bool m_bInteractive;
    CGPSReceiver* m_pReceiver = nullptr;
    std::vector<CDataLog*> m_rawLogs;
    std::deque<std::string> m_sentences;  // posted sentences in order, taken as they are dispatched
    std::vector<std::string> m_spare;     // their storage, for the next ones
    std::unique_ptr<MainWindow> m_pWindow;
};

// The settings file of the tool: $XDG_CONFIG_HOME/tolvik/settings.ini or ~/.config/tolvik/...
std::string DefaultSettingsPath();

}  // namespace tolvik::tool
