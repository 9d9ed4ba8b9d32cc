// CGPSEngine: the object a host creates to use the library.
//
// The engine owns the receiver catalogue (one object of every model), remembers the current
// receiver, and starts and stops the reader thread that feeds it: live from the serial port, or
// replaying an emulation file (one recorded line every 500 ms) so that hosts can be demonstrated
// and tested without a receiver. Every framed message goes to the receiver's Parse and, when raw
// text forwarding is on, to the host as WM_GPS_RAWSTRING.
//
// The host sets the public flags and file names while the engine is stopped; the flags the
// reader thread reads while running (raw logging, raw-data attachment) are atomic so they may
// also be switched while it runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "tolvik/framing/CBinBuffer.h"
#include "tolvik/platform/CString.h"
#include "tolvik/platform/Sync.h"
#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

enum GPS_ENGINE_ERROR : std::int32_t {
    GPS_ENGINE_NO_ERROR = 0,
    GPS_ENGINE_NO_RECEIVER = 1,    // Start without a current receiver
    GPS_ENGINE_INIT_FAILED = 2,    // the receiver's Initialize failed
    GPS_ENGINE_THREAD_FAILED = 3,  // the reader thread did not start
};

// Collects the raw text of framed messages for the host, up to a little over 100000 characters.
class CComBuffer {
public:
    static constexpr int kLimit = 100000;

    CComBuffer() = default;
    CComBuffer(const CComBuffer& other);
    CComBuffer& operator=(const CComBuffer& other);
    ~CComBuffer() = default;

    // Appends the message text unless stopped; the first message after the text passed the
    // limit is taken and then collection stops (m_bLimitReached).
    void OnRawData(CString* pMessage);

    // Start or stop collecting (and forwarding WM_GPS_RAWSTRING) at any time.
    void SetStopped(bool bStopped) { m_bStopped.store(bStopped); }
    bool IsStopped() const { return m_bStopped.load(); }
    bool LimitReached() const { return m_bLimitReached.load(); }
    // A copy of the collected text (safe while the reader thread collects).
    CString GetData() const;
    void ClearData();

    CString m_strData;
    CString m_strSpare;
    std::atomic<bool> m_bStopped{true};
    std::atomic<bool> m_bLimitReached{false};

private:
    mutable std::mutex m_mutex;  // guards m_strData against the host reading while collecting
};

class CGPSEngine {
public:
    static constexpr int kBufferLimit = CBinBuffer::kMaxLength;  // framing buffer size at which it is emptied
    static constexpr DWORD kFirstByteWaitMs = 1000;
    static constexpr DWORD kBurstWaitMs = 1;
    static constexpr DWORD kCyclePauseMs = 100;
    static constexpr DWORD kLinePaceMs = 500;
    static constexpr DWORD kSpeedResetMs = 10000;
    static constexpr DWORD kStopWaitMs = 1000;
    static constexpr DWORD kReopenIntervalMs = 1000;  // between attempts to reopen a lost device

    CGPSEngine();
    ~CGPSEngine();
    CGPSEngine(const CGPSEngine&) = delete;
    CGPSEngine& operator=(const CGPSEngine&) = delete;

    // Appends a receiver (the engine owns it from then on) unless one with the same display
    // name is in the list; false then, and the caller keeps ownership.
    bool AddReceiver(CGPSReceiver* pReceiver);
    // The receiver with this exact display name, else the last in the list ("Other").
    CGPSReceiver* FindReceiver(CString strName);
    // Stops the engine and makes pReceiver current.
    void SetReceiver(CGPSReceiver* pReceiver);
    CGPSReceiver* GetReceiver() const { return m_pReceiver; }
    // Loads every receiver's persisted settings.
    void InitReceivers();
    void SetMinSatRequierment(int nMin);  // at least 3
    int GetMinSatRequierment();

    // Start, SetReceiver and the destructor never wait without bound for a reader thread that a
    // timed-out Stop left behind: one held in host code (a message box the host shows on its UI
    // thread, a callback waiting for that thread) is let go with the state it uses and ends,
    // touching nothing of the engine, once the host lets it return.
    bool Start();
    void Stop();
    void Pause() { Stop(); }
    bool Resume() { return Start(); }
    // From a successful Start until Stop, or until the reader thread ended by itself (an empty
    // or unopenable emulation file, a failure).
    bool IsActive();
    // The device went away while reading live (WM_GPS_DEVICE, GPS_DEVICE_LOST) and has not come
    // back yet.
    bool IsDeviceLost() const { return m_bDeviceLost.load(); }

    GPS_ENGINE_ERROR GetLastError() const { return m_eLastError; }
    CString GetLastErrorString() const;
    // The first failure of the raw byte log (m_bLogRawData) as "file: reason", empty when it
    // opened and every write went through. The log switches itself off after a failure.
    std::string GetRawLogError() const;

    // Appends the bytes to the framing buffer and hands every complete message to the current
    // receiver. True when the receiver's Parse accepted at least one of them.
    bool UpdateGPSBuffer(CBinBuffer& buffer);

    // Passes one line of an emulation file on, as the replay does: a "VEK PAUSE" line shows its
    // text in a message box and goes on without a line end; any other line gets "\r\n". Hosts
    // use it to replay a recording at their own pace (the tool's fast replay).
    bool ReplayLine(CString line);
    // The same for a line held as bytes (one byte a character), without the conversion to
    // characters and back on every line. One caller at a time, as for UpdateGPSBuffer.
    bool ReplayLine(std::string_view line);

    // Receivers in catalogue order.
    const std::list<CGPSReceiver*>& Receivers() const { return m_Receivers; }

    std::thread* m_pThread = nullptr;
    platform::Event* m_hStopEvent = nullptr;  // set while running; signalled to stop
    CGPSReceiver* m_pReceiver = nullptr;
    CBinBuffer m_Buffer;
    CBinBuffer m_ReplayBytes;  // a byte line with its line end, kept for the next one
    CString m_MessageText;     // the message being handled, its storage kept for the next one
    CComBuffer m_ComBuffer;
    bool m_bEmulation = false;
    std::atomic<bool> m_bDataParsed{true};
    std::atomic<bool> m_bAttachRawData{false};
    std::atomic<bool> m_bLogRawData{false};
    CString m_strRawLogFile = L"Emulation.log";
    CString m_strEmulationDir;
    std::atomic<std::int32_t> m_nOverflowCount{0};
    std::atomic<std::uint64_t> m_nBytesRead{0};  // bytes read from the port, for a host's diagnostics
    int m_nMinSatellites = 4;
    CString m_strEmulationFile;
    std::list<CGPSReceiver*> m_Receivers;
    bool m_bReceiversInitialized = false;
    GPS_ENGINE_ERROR m_eLastError = GPS_ENGINE_NO_ERROR;

    // What one reader thread shares with the engine (defined in the engine's source).
    struct ReaderRun;

private:
    static void ThreadProc(std::shared_ptr<ReaderRun> run, CGPSEngine* pEngine);
    // Each returns false when the engine gave the thread up: it then returns at once.
    bool RunEmulation(ReaderRun& run);
    bool RunLive(ReaderRun& run);
    bool WaitForDevice(ReaderRun& run, CGPSReceiver* pReceiver);
    // Waits up to waitMs on the stop event; true when the thread is to end.
    static bool StopRequested(ReaderRun& run, DWORD waitMs);
    // Joins a reader thread that has ended, or lets go of one still held in host code; never
    // waits without bound.
    void CollectThread();

    std::shared_ptr<ReaderRun> m_pRun;                // what the current reader thread uses
    std::atomic<std::thread::id> m_readerThreadId{};  // to recognise a Stop from the reader thread
    std::atomic<bool> m_bDeviceLost{false};
    mutable std::mutex m_rawLogErrorMutex;  // the reader thread writes it, the host reads it
    std::string m_strRawLogError;
    void SetRawLogError(const std::string& error);
};

}  // namespace tolvik
