// Plain Win32-style types and constants, with no dependency on Qt, so that the
// viewer's state and logic can name them without pulling in the window layer.
#pragma once

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using BOOL = std::int32_t;
using LONG = std::int32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using COLORREF = std::uint32_t; // 0x00BBGGRR

struct HWND__;
using HWND = HWND__*;
struct HDC__;
using HDC = HDC__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;

using LPCCHOOKPROC = std::uintptr_t (*)(HWND, UINT, WPARAM, LPARAM);

// The colour dialog's request record (ANSI form).
struct CHOOSECOLORA {
    DWORD lStructSize;
    HWND hwndOwner;
    HWND hInstance;
    COLORREF rgbResult;
    COLORREF* lpCustColors;
    DWORD Flags;
    LPARAM lCustData;
    LPCCHOOKPROC lpfnHook;
    const char* lpTemplateName;
};

constexpr DWORD CC_RGBINIT = 0x0001;
constexpr DWORD CC_FULLOPEN = 0x0002;
