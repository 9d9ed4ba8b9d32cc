// Basic integer and handle types shared by the whole library.
//
// The receiver protocols and the host interface are described in terms of fixed-width
// integers (a 16-bit word, a 32-bit count) and window-message parameters. These aliases keep
// those widths visible in signatures without pulling in any platform header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvik {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;

// Window-message parameters: wide enough to carry a pointer.
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// A window handle. Windows are registered in the platform layer; a handle stays unique for the
// life of the process, so a stale handle never reaches a newer window.
struct HWND__;
using HWND = HWND__*;

// Time-outs in milliseconds; INFINITE waits without limit.
inline constexpr DWORD INFINITE = 0xFFFFFFFFu;

}  // namespace tolvik
