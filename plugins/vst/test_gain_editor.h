// The test gain plug-in's editor: a plain X11 child window inside the host's window, showing the
// current gain. It keeps its own display connection, as plug-in editors do, so that it never
// shares Xlib state with the host.
#pragma once

#include <cstdint>

struct _XDisplay;

class TTestGainEditor
{
public:
  static constexpr int Width = 320;
  static constexpr int Height = 200;

  ~TTestGainEditor();

  // Creates the child window inside AParent (an X11 window id). False without a display.
  bool Open(uintptr_t AParent);
  void Close();
  // Handles pending X events and redraws when the shown text changed.
  void Idle(const char* AText);
  bool IsOpen() const { return FDisplay != nullptr; }

private:
  void Draw();

  _XDisplay* FDisplay = nullptr;
  unsigned long FWindow = 0;
  char FText[64] = {};
};
