#include "vst_editor_host.h"

#include "vst_plugin.h"

#include <X11/Xlib.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>

namespace {

// How often open editors get their idle call: smooth enough for meters and knobs.
constexpr std::chrono::milliseconds IdleInterval{30};

std::atomic<bool> GExists{false};
// Set by the error handler while a window is checked; the check runs on the editor thread only.
bool GXError = false;

int RecordXError(Display*, XErrorEvent*)
{
  GXError = true;
  return 0;
}

} // namespace

TVstEditorHost& TVstEditorHost::Instance()
{
  static TVstEditorHost* Host = [] {
    auto* Made = new TVstEditorHost();
    GExists = true;
    return Made;
  }();
  return *Host;
}

bool TVstEditorHost::Exists()
{
  return GExists;
}

TVstEditorHost::TVstEditorHost()
{
  FThread = std::thread([this] { Run(); });
  FThreadId = FThread.get_id();
  FThread.detach();
}

void TVstEditorHost::Run()
{
  for (;;) {
    std::deque<std::function<void()>> Tasks;
    {
      std::unique_lock Guard(FLock);
      const auto HasWork = [this] { return !FQueue.empty(); };
      if (FOpen.empty())
        FWake.wait(Guard, HasWork);
      else
        FWake.wait_for(Guard, IdleInterval, HasWork);
      Tasks.swap(FQueue);
    }
    for (auto& Task : Tasks)
      Task();
    for (TVstPlugin* Plugin : FOpen) {
      // A plug-in that throws from its idle call must not take the other editors down with it.
      try {
        Plugin->EditorIdle();
      } catch (...) {
      }
    }
  }
}

void TVstEditorHost::Call(const std::function<void()>& ATask)
{
  if (std::this_thread::get_id() == FThreadId) {
    ATask();
    return;
  }
  std::packaged_task<void()> Task(ATask);
  std::future<void> Done = Task.get_future();
  {
    std::lock_guard Guard(FLock);
    FQueue.emplace_back([&Task] { Task(); });
  }
  FWake.notify_one();
  Done.get();
}

bool TVstEditorHost::HasDisplay()
{
  // Tried again on every request: a display may appear after the first attempt.
  if (!FDisplay)
    FDisplay = XOpenDisplay(nullptr);
  return FDisplay != nullptr;
}

bool TVstEditorHost::WindowExists(uintptr_t AWindow)
{
  // A window id that is not (or no longer) there would make the plug-in's own X calls fail, and
  // Xlib's default answer to that is to end the process.
  GXError = false;
  auto* Previous = XSetErrorHandler(&RecordXError);
  XWindowAttributes Attributes;
  const Status Found = XGetWindowAttributes(FDisplay, static_cast<Window>(AWindow), &Attributes);
  XSync(FDisplay, False);
  XSetErrorHandler(Previous);
  return Found != 0 && !GXError;
}

bool TVstEditorHost::WindowHasChildren(uintptr_t AWindow)
{
  Window Root = 0;
  Window Parent = 0;
  Window* Children = nullptr;
  unsigned int Count = 0;
  if (!XQueryTree(FDisplay, static_cast<Window>(AWindow), &Root, &Parent, &Children, &Count))
    return false;
  if (Children)
    XFree(Children);
  return Count > 0;
}

bool TVstEditorHost::Open(TVstPlugin* APlugin, uintptr_t AWindow)
{
  bool Opened = false;
  Call([&] {
    if (!HasDisplay() || !WindowExists(AWindow))
      return;
    const intptr_t Answer = APlugin->EditorOpen(AWindow);
    // Some plug-ins answer 0 although their editor is up; the window tells.
    if (Answer == 0 && !WindowHasChildren(AWindow)) {
      APlugin->EditorClose();
      FOpen.erase(std::remove(FOpen.begin(), FOpen.end(), APlugin), FOpen.end());
      return;
    }
    if (std::find(FOpen.begin(), FOpen.end(), APlugin) == FOpen.end())
      FOpen.push_back(APlugin);
    Opened = true;
  });
  return Opened;
}

void TVstEditorHost::Close(TVstPlugin* APlugin)
{
  Call([&] {
    APlugin->EditorClose();
    FOpen.erase(std::remove(FOpen.begin(), FOpen.end(), APlugin), FOpen.end());
  });
}

bool TVstEditorHost::EditorSize(TVstPlugin* APlugin, int& AWidth, int& AHeight)
{
  AWidth = 0;
  AHeight = 0;
  bool Known = false;
  Call([&] {
    if (HasDisplay())
      Known = APlugin->EditorRect(AWidth, AHeight);
  });
  return Known;
}
