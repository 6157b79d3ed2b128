// Message numbers, notification codes and styles of the UI layer. They keep
// the values of the desktop dialog system the program was first written
// for, so that handlers read the way the dialog's code expects them.
#pragma once

#include <cstdint>

namespace ui {

// Messages.
constexpr unsigned WM_CREATE = 0x0001;
constexpr unsigned WM_DESTROY = 0x0002;
constexpr unsigned WM_PAINT = 0x000F;
constexpr unsigned WM_ERASEBKGND = 0x0014;
constexpr unsigned WM_QUERYDRAGICON = 0x0037;
constexpr unsigned WM_HELP = 0x0053;
constexpr unsigned WM_CONTEXTMENU = 0x007B;
constexpr unsigned WM_COMMAND = 0x0111;
constexpr unsigned WM_SYSCOMMAND = 0x0112;
constexpr unsigned WM_TIMER = 0x0113;
constexpr unsigned WM_HSCROLL = 0x0114;
constexpr unsigned WM_VSCROLL = 0x0115;
constexpr unsigned WM_MOUSEMOVE = 0x0200;
constexpr unsigned WM_ENTERMENULOOP = 0x0211;
constexpr unsigned WM_EXITMENULOOP = 0x0212;
constexpr unsigned WM_ENTERSIZEMOVE = 0x0231;
constexpr unsigned WM_EXITSIZEMOVE = 0x0232;
constexpr unsigned WM_APP = 0x8000;

// Commands of the standard buttons.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Notification codes carried in the high word of a WM_COMMAND.
constexpr int BN_CLICKED = 0;
constexpr int EN_CHANGE = 0x0300;
// Source of a WM_COMMAND that came from an accelerator.
constexpr int CMD_FROM_ACCELERATOR = 1;

// Scroll codes of WM_HSCROLL and WM_VSCROLL (scroll bars and sliders).
constexpr int SB_LINEUP = 0;  // also line left; a slider's TB_LINEUP
constexpr int SB_LINEDOWN = 1;
constexpr int SB_PAGEUP = 2;
constexpr int SB_PAGEDOWN = 3;
constexpr int SB_THUMBPOSITION = 4;
constexpr int SB_THUMBTRACK = 5;
constexpr int SB_TOP = 6;  // also left
constexpr int SB_BOTTOM = 7;  // also right
constexpr int SB_ENDSCROLL = 8;  // a slider's TB_ENDTRACK

// Mouse button flags of WM_MOUSEMOVE.
constexpr unsigned MK_LBUTTON = 0x0001;
constexpr unsigned MK_RBUTTON = 0x0002;

// Message box styles and results.
constexpr unsigned MB_OK = 0x00000000;
constexpr unsigned MB_ICONERROR = 0x00000010;
constexpr unsigned MB_ICONEXCLAMATION = 0x00000030;
constexpr unsigned MB_ICONINFORMATION = 0x00000040;
constexpr unsigned MB_TASKMODAL = 0x00002000;
constexpr unsigned MB_SETFOREGROUND = 0x00010000;

// Commands to the help engine.
constexpr unsigned HELP_CONTEXT = 0x0001;
constexpr unsigned HELP_QUIT = 0x0002;
constexpr unsigned HELP_CONTEXTMENU = 0x000A;
constexpr unsigned HELP_WM_HELP = 0x000C;

// Packing of two 16-bit halves, as messages carry them.
constexpr std::uintptr_t MakeWParam(unsigned low, unsigned high) {
  return (static_cast<std::uintptr_t>(high & 0xFFFFu) << 16) | (low & 0xFFFFu);
}
constexpr std::intptr_t MakeLParam(int low, int high) {
  return static_cast<std::intptr_t>(
      static_cast<std::int32_t>((static_cast<std::uint32_t>(high) << 16) |
                                (static_cast<std::uint32_t>(low) & 0xFFFFu)));
}
constexpr unsigned LoWord(std::uintptr_t v) { return static_cast<unsigned>(v & 0xFFFFu); }
constexpr unsigned HiWord(std::uintptr_t v) { return static_cast<unsigned>((v >> 16) & 0xFFFFu); }

// One message as a window procedure receives it. For WM_HSCROLL and
// WM_VSCROLL, lParam holds the identifier of the control (0 for none);
// for WM_HELP the identifier of the control that had the focus; for
// WM_CONTEXTMENU wParam holds the identifier of the clicked control (0 for
// none) and lParam the cursor's screen position.
struct Message {
  unsigned message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

}  // namespace ui
