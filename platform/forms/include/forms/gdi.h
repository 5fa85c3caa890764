#pragma once
// Drawing with device contexts and bitmaps on Qt images: memory device contexts, colour and
// monochrome bitmaps, solid brushes, block transfers (SRCCOPY, SRCINVERT, SRCAND) and the colour
// calls, with the window system's semantics.
//
// - A new memory device context holds a 1×1 monochrome bitmap; CreateCompatibleBitmap makes a
//   bitmap of the format the context has selected (monochrome for a new memory context, colour
//   for a window's or the screen's).
// - BitBlt between formats: colour to monochrome gives 1 where the source pixel equals the
//   source context's background colour, 0 elsewhere; monochrome to colour turns 0 into the
//   destination's text colour (black unless set) and 1 into its background colour (white unless
//   set). Transfers are clipped to both bitmaps; an empty size copies nothing.
// - A picture's handle (Picture::Handle) selects into a memory device context as its bitmap:
//   the picture's pixels as opaque RGB (a transparent pixel keeps its colour, alpha is dropped);
//   drawing into it leaves the picture itself unchanged.
// - GetDC(0) is the screen's context (for colour questions); GetDC(hwnd) draws on the window at
//   once, over what the window shows.
// Handles of objects that are gone answer failure (0 or false), never a crash.
#include <cstdint>

#include "core/rect.h"
#include "forms/hwnd.h"

using HDC = uint32_t;
using HGDIOBJ = uintptr_t;
using HBITMAP = uintptr_t;
using HBRUSH = uintptr_t;
using COLORREF = uint32_t;  // 0x00BBGGRR
using DWORD_ROP = uint32_t;


constexpr DWORD_ROP SRCCOPY = 0x00CC0020;
constexpr DWORD_ROP SRCINVERT = 0x00660046;
constexpr DWORD_ROP SRCAND = 0x008800C6;
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

inline constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}

// A memory device context compatible with hdc (0: with the screen).
HDC CreateCompatibleDC(HDC hdc);
bool DeleteDC(HDC hdc);
// A bitmap of width × height in the format of hdc's selected bitmap.
HBITMAP CreateCompatibleBitmap(HDC hdc, int32_t width, int32_t height);
// planes 1 and 1 bit per pixel make a monochrome bitmap, 24 or 32 bits a colour one; bits (rows
// word-aligned, as the window system lays them out) may be nullptr for a bitmap of zeros.
HBITMAP CreateBitmap(int32_t width, int32_t height, uint32_t planes, uint32_t bitsPerPixel, const void* bits);
HBRUSH CreateSolidBrush(COLORREF color);
// Selects a bitmap (memory contexts only) or a brush; answers the object it replaces, 0 on failure.
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
// Deletes a bitmap or brush; false for an object still selected into a context or unknown.
bool DeleteObject(HGDIOBJ object);
bool BitBlt(HDC dest, int32_t x, int32_t y, int32_t width, int32_t height, HDC src, int32_t srcX, int32_t srcY,
            DWORD_ROP rop);
// Answers the previous colour, CLR_INVALID for an unknown context.
COLORREF SetBkColor(HDC hdc, COLORREF color);
COLORREF SetTextColor(HDC hdc, COLORREF color);
int32_t FillRect(HDC hdc, const RECT* rect, HBRUSH brush);
// The colour of a system colour index (the forms runtime's palette, as OLE colours 0x800000nn show).
COLORREF GetSysColor(int32_t index);
// The colour the context can show that is nearest to the one asked (true colour: the same colour;
// a monochrome bitmap: black or white).
COLORREF GetNearestColor(HDC hdc, COLORREF color);
HDC GetDC(HWND hwnd);
int32_t ReleaseDC(HWND hwnd, HDC hdc);

// An icon: the handle of an icon picture (Picture::Handle of LoadResPicture(..., vbResIcon)).
using HICON = uintptr_t;
// Draws the icon at its own size with its top-left corner at (x, y): its opaque pixels replace
// the surface's, its transparent ones leave them. False for an unknown context or icon.
bool DrawIcon(HDC hdc, int32_t x, int32_t y, HICON icon);
