// The thread on which every plug-in editor lives. Editors are opened, idled and closed on one
// thread of our own, because the host program gives us no idle call of its own, and plug-in
// editors (X11, often OpenGL) expect all their calls on the thread that opened them. Requests
// from other threads are run there and waited for.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct _XDisplay;
class TVstPlugin;

class TVstEditorHost
{
public:
  // Started on first use and kept for the process's life: plug-in editors may still have
  // resources tied to it at exit, so it is never torn down.
  static TVstEditorHost& Instance();
  // Whether Instance() has been made, so that freeing a plug-in does not start the thread.
  static bool Exists();

  // Opens the plug-in's editor in the X11 window AWindow. False when there is no X display, the
  // window does not exist or the plug-in made no editor in it.
  bool Open(TVstPlugin* APlugin, uintptr_t AWindow);
  void Close(TVstPlugin* APlugin);
  // The editor size, asked on this thread because plug-ins may build their user interface to
  // measure it. False without an X display.
  bool EditorSize(TVstPlugin* APlugin, int& AWidth, int& AHeight);

private:
  TVstEditorHost();
  void Run();
  // Runs ATask on the editor thread and waits for it.
  void Call(const std::function<void()>& ATask);
  bool HasDisplay();
  bool WindowExists(uintptr_t AWindow);
  bool WindowHasChildren(uintptr_t AWindow);

  std::thread FThread;
  std::thread::id FThreadId;
  std::mutex FLock;
  std::condition_variable FWake;
  std::deque<std::function<void()>> FQueue;
  // Touched on the editor thread only.
  std::vector<TVstPlugin*> FOpen;
  _XDisplay* FDisplay = nullptr;
};
