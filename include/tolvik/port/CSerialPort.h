// The serial connection to the receiver, on POSIX termios devices.
//
// CSerialPort holds the line settings and the open device and does single-attempt operations;
// CBluetoothOrSerialPort adds the open policy (five attempts, port 99 refused) and writes that
// retry, with one reopen of the device between the fourth and the fifth attempt.
//
// Ports are numbered as on the handhelds the protocols come from: the device of "COM<n>:" is
// looked up in a port map the host fills (SetPortDevice); without an entry COM<n> is
// /dev/ttyS<n-1>. The reader thread and command writers use one port at once: reads and writes
// are separate, and closing the device while a read waits is safe (the read notices and gives
// up rather than touching a descriptor that may have been reused).
#pragma once

#include <termios.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "tolvik/platform/CString.h"
#include "tolvik/platform/Collections.h"
#include "tolvik/platform/Sync.h"
#include "tolvik/platform/Types.h"

namespace tolvik {

class CSerialPort {
public:
    static constexpr int kBluetoothPort = 99;
    static constexpr int kMaxTextWrite = 512;  // characters / bytes per Write and WriteBytes
    static constexpr int kQueueSize = 4096;

    // Handshake bits of m_nHandshake.
    enum : BYTE { HS_DTR_DSR = 0x01, HS_RTS_CTS = 0x02, HS_XON_XOFF = 0x04 };

    CSerialPort();
    virtual ~CSerialPort();  // does not close: receivers close the shared port
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    virtual int BytesAvailable();
    virtual bool PurgeInput();
    virtual bool IsOpen();
    virtual bool Open();
    virtual bool Close();
    virtual bool Write(const CString& text);
    virtual bool WriteBytes(const CByteArray& bytes);
    virtual bool WriteByte(char c);
    virtual bool WriteBinary(const BYTE* pData, WORD nLength);
    virtual bool SetBreak();
    virtual bool ClearBreak();

    // Reads (nothing in the receiver uses them; the reader thread uses ReadBurst).
    virtual bool ReadText(CString& text, const bool* pAbort);
    virtual bool ReadBytes(CByteArray& bytes, const bool* pAbort);
    virtual bool ReadByte(char* pc);
    virtual bool Read(BYTE* pBuffer, DWORD nCount, DWORD* pRead, const bool* pAbort);
    virtual bool WaitForChar(char c, DWORD nTimeout);
    virtual int ReadUntilChar(char c, DWORD nTimeout);
    virtual bool ReadUntilText(CString& text, const CString& terminator);
    virtual bool ReadUntilOneOf(CString& text, const CString& characters);

    void SetPortNumber(int nPort);
    // Values above 0 (others are ignored, false). On an open port the device must take the rate:
    // if it does not, the port keeps its previous rate and the call returns false.
    bool SetBaudRate(int nBaudRate);
    void SetHandshake(int nHandshake);
    void SetParity(int nParity);
    void SetStopBits(int nStopBits);
    void* GetHandle();  // the descriptor as a handle; (void*)-1 when closed
    // Why the last open or line setting failed, naming the device or the rate ("the device does
    // not take 14400 baud"); empty after a success.
    CString GetLastErrorString() const;

    // The reader thread's read: waits up to firstByteMs for a first byte, then takes whatever
    // arrives within burstMs after it, up to nMax bytes. Returns the number of bytes read, 0 on
    // silence, -1 when the port is closed or failed. A set interrupt event ends the first-byte
    // wait early (0 is returned) without taking the event's signal.
    int ReadBurst(BYTE* pBuffer, int nMax, DWORD firstByteMs, DWORD burstMs, platform::Event* pInterrupt);
    // True when a read on the port as it is open now ended on end-of-file or a read error: the
    // device went away (terminal hung up, USB adapter pulled). Closing or reopening clears it.
    bool HungUp() const { return m_nHungUpGeneration.load() == m_nGeneration.load() + 1u; }

    // Device path for a port number (the host's map, else /dev/ttyS<n-1>).
    static void SetPortDevice(int nPort, const std::string& path);
    static void ClearPortDevices();
    static std::string DevicePath(int nPort);

    // Settings last applied to the device.
    termios m_dcb{};
    int m_nBaudRate = 4800;
    BYTE m_nHandshake = 0;
    int m_nPort = 1;
    int m_nParity = 0;     // 0 none, 1 odd, 2 even, 3 mark, 4 space
    BYTE m_nStopBits = 0;  // 0 one, 1 one and a half (taken as two), 2 two
    BYTE m_nDataBits = 0;  // 0: automatic, 8 without parity and 7 with
    int m_nReadTimeout = 1000;
    CString m_strPortName;  // "COM<n>:" while open
    bool m_bAllowReopen = true;

protected:
    // Applies the settings to the open device; false when the device refuses them (a baud rate
    // it cannot take included).
    bool Configure();
    bool OpenDevice();  // one attempt, configured and purged
    bool WriteAll(const BYTE* pData, int nLength);
    void SetLastError(const CString& text);
    void SetLastSystemError(const char* what, int error);  // "what: <system text>"
    // Reads with a first-byte wait and an inter-byte wait; see ReadBurst.
    int ReadWithTimeouts(BYTE* pBuffer, int nMax, DWORD firstByteMs, DWORD burstMs, platform::Event* pInterrupt);
    // Reads byte by byte within the read time-out until the text read so far is complete.
    bool ReadUntil(CString& text, const std::function<bool(const CString&)>& isComplete);

    std::atomic<int> m_hPort{-1};
    // Readers hold it shared while touching the descriptor; Close holds it exclusively, so a
    // descriptor is never closed under a read. The generation counts opens and tells a read that
    // waited across a close not to use the number it started with.
    std::shared_mutex m_fdLock;
    std::atomic<unsigned> m_nGeneration{0};
    std::atomic<unsigned> m_nHungUpGeneration{0};  // the generation a read saw hang up, plus 1
    std::mutex m_writeLock;
    mutable std::mutex m_errorLock;  // the host reads the error while the reader thread may reopen
    CString m_strLastError;
};

class CBluetoothOrSerialPort : public CSerialPort {
public:
    static constexpr int kWriteAttempts = 5;

    CBluetoothOrSerialPort();
    ~CBluetoothOrSerialPort() override;

    bool Open() override;
    bool Write(const CString& text) override;
    bool WriteBytes(const CByteArray& bytes) override;
    bool WriteByte(char c) override;
    bool WriteBinary(const BYTE* pData, WORD nLength) override;
    bool Reopen();

    CString m_strDevice;  // Bluetooth device name; not used
    int m_nOpenRetries = 5;

private:
    template <typename Attempt>
    bool WriteWithRetries(Attempt attempt);
};

}  // namespace tolvik
