#include "test_gain_editor.h"

#include <X11/Xlib.h>
#include <cstring>

TTestGainEditor::~TTestGainEditor()
{
  Close();
}

bool TTestGainEditor::Open(uintptr_t AParent)
{
  Close();
  if (AParent == 0)
    return false;
  FDisplay = XOpenDisplay(nullptr);
  if (!FDisplay)
    return false;
  const int Screen = DefaultScreen(FDisplay);
  FWindow = XCreateSimpleWindow(FDisplay, static_cast<Window>(AParent), 0, 0, Width, Height, 0,
                                BlackPixel(FDisplay, Screen), WhitePixel(FDisplay, Screen));
  XSelectInput(FDisplay, FWindow, ExposureMask);
  XMapWindow(FDisplay, FWindow);
  // The host looks for the window right after the open call returns.
  XSync(FDisplay, False);
  return true;
}

void TTestGainEditor::Close()
{
  if (!FDisplay)
    return;
  XDestroyWindow(FDisplay, FWindow);
  XSync(FDisplay, False);
  XCloseDisplay(FDisplay);
  FDisplay = nullptr;
  FWindow = 0;
}

void TTestGainEditor::Idle(const char* AText)
{
  if (!FDisplay)
    return;
  bool NeedsDraw = std::strncmp(FText, AText, sizeof(FText) - 1) != 0;
  while (XPending(FDisplay) > 0) {
    XEvent Event;
    XNextEvent(FDisplay, &Event);
    if (Event.type == Expose)
      NeedsDraw = true;
  }
  if (NeedsDraw) {
    std::strncpy(FText, AText, sizeof(FText) - 1);
    Draw();
  }
}

void TTestGainEditor::Draw()
{
  const int Screen = DefaultScreen(FDisplay);
  GC Gc = DefaultGC(FDisplay, Screen);
  XClearWindow(FDisplay, FWindow);
  XSetForeground(FDisplay, Gc, BlackPixel(FDisplay, Screen));
  XDrawString(FDisplay, FWindow, Gc, 16, 32, FText, static_cast<int>(std::strlen(FText)));
  XFlush(FDisplay);
}
