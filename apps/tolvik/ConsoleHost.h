// The tool's host application: its main window takes the records the library posts and hands
// them to a Printer (binary records as their own copies); message boxes and the loss and return
// of the device go to standard error.
#pragma once

#include <cstdio>
#include <memory>
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
    void SetRawLog(CDataLog* pLog) { if (pLog) m_rawLogs.push_back(pLog); }
    // Dispatches everything waiting for the main window.
    int Pump() { return PumpWaitingMessages(); }

    int DoMessageBox(const CString& text, UINT nType) override;

private:
    class MainWindow;
    Printer& m_printer;
    bool m_bInteractive;
    CGPSReceiver* m_pReceiver = nullptr;
    std::vector<CDataLog*> m_rawLogs;
    std::unique_ptr<MainWindow> m_pWindow;
};

// The settings file of the tool: $XDG_CONFIG_HOME/tolvik/settings.ini or ~/.config/tolvik/...
std::string DefaultSettingsPath();

}  // namespace tolvik::tool
