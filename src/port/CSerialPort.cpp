// STUB: replaced by the termios implementation.
#include "tolvik/port/CSerialPort.h"
namespace tolvik {
CSerialPort::CSerialPort() {}
CSerialPort::~CSerialPort() {}
int CSerialPort::BytesAvailable() { return 0; }
bool CSerialPort::PurgeInput() { return false; }
bool CSerialPort::IsOpen() { return m_hPort.load() >= 0; }
bool CSerialPort::Open() { return false; }
bool CSerialPort::Close() { m_strPortName.Empty(); return false; }
bool CSerialPort::Write(const CString&) { return false; }
bool CSerialPort::WriteBytes(const CByteArray&) { return false; }
bool CSerialPort::WriteByte(char) { return false; }
bool CSerialPort::WriteBinary(const BYTE*, WORD) { return false; }
bool CSerialPort::SetBreak() { return false; }
bool CSerialPort::ClearBreak() { return false; }
bool CSerialPort::ReadText(CString&, const bool*) { return false; }
bool CSerialPort::ReadBytes(CByteArray&, const bool*) { return false; }
bool CSerialPort::ReadByte(char*) { return false; }
bool CSerialPort::Read(BYTE*, DWORD, DWORD*, const bool*) { return false; }
bool CSerialPort::WaitForChar(char, DWORD) { return false; }
int CSerialPort::ReadUntilChar(char, DWORD) { return 0; }
bool CSerialPort::ReadUntilText(CString&, const CString&) { return false; }
bool CSerialPort::ReadUntilOneOf(CString&, const CString&) { return false; }
void CSerialPort::SetPortNumber(int n) { m_nPort = n; }
void CSerialPort::SetBaudRate(int n) { if (n > 0) m_nBaudRate = n; }
void CSerialPort::SetHandshake(int n) { m_nHandshake = static_cast<BYTE>(n); }
void CSerialPort::SetParity(int n) { m_nParity = n; }
void CSerialPort::SetStopBits(int n) { m_nStopBits = static_cast<BYTE>(n); }
void* CSerialPort::GetHandle() { return reinterpret_cast<void*>(static_cast<intptr_t>(m_hPort.load())); }
int CSerialPort::ReadBurst(BYTE*, int, DWORD, DWORD, platform::Event*) { return -1; }
void CSerialPort::SetPortDevice(int, const std::string&) {}
void CSerialPort::ClearPortDevices() {}
std::string CSerialPort::DevicePath(int) { return {}; }
CBluetoothOrSerialPort::CBluetoothOrSerialPort() {}
CBluetoothOrSerialPort::~CBluetoothOrSerialPort() {}
bool CBluetoothOrSerialPort::Open() { return false; }
bool CBluetoothOrSerialPort::Write(const CString&) { return false; }
bool CBluetoothOrSerialPort::WriteBytes(const CByteArray&) { return false; }
bool CBluetoothOrSerialPort::WriteByte(char) { return false; }
bool CBluetoothOrSerialPort::WriteBinary(const BYTE*, WORD) { return false; }
bool CBluetoothOrSerialPort::Reopen() { return false; }
}  // namespace tolvik
