// The keep-alive text of the receivers that go quiet without traffic from the host.
#pragma once

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

inline constexpr const wchar_t* kKeepAliveText = L"VEK Pruv\r\n";

// Called by the reader thread after a silent second: no open test, no pause, no result (a
// closed port refuses the write by itself).
inline void WriteKeepAlive() { CGPSReceiver::m_Port.Write(kKeepAliveText); }

}  // namespace tolvik
