// Plug-in editors embedded into X11 windows that the test makes, as the VST parameter window does
// with its own. Needs an X server: skipped without one (ctest also runs them under xvfb-run).
#include "vst_bridge.h"

#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>
// Last: Xlib defines macros (Bool, None, Status) that clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

struct TChild
{
  Window Id = 0;
  unsigned Width = 0;
  unsigned Height = 0;
};

class VstEditor : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(B.Bound) << B.Error;
    FDisplay = XOpenDisplay(nullptr);
    if (!FDisplay)
      GTEST_SKIP() << "no X display; run under xvfb-run to test editor embedding";
  }

  void TearDown() override
  {
    for (const auto& [Channel, Handle] : FLoaded)
      B.ChannelRemoveDSP(Channel, Handle);
    if (FDisplay) {
      for (Window Made : FWindows)
        XDestroyWindow(FDisplay, Made);
      XCloseDisplay(FDisplay);
    }
  }

  Window MakeWindow()
  {
    const int Screen = DefaultScreen(FDisplay);
    const Window Made =
        XCreateSimpleWindow(FDisplay, RootWindow(FDisplay, Screen), 0, 0, 700, 500, 0,
                            BlackPixel(FDisplay, Screen), WhitePixel(FDisplay, Screen));
    XMapWindow(FDisplay, Made);
    XSync(FDisplay, False);
    FWindows.push_back(Made);
    return Made;
  }

  std::vector<TChild> Children(Window AWindow)
  {
    XSync(FDisplay, False);
    Window Root = 0;
    Window Parent = 0;
    Window* List = nullptr;
    unsigned Count = 0;
    std::vector<TChild> Result;
    if (!XQueryTree(FDisplay, AWindow, &Root, &Parent, &List, &Count))
      return Result;
    for (unsigned i = 0; i < Count; ++i) {
      TChild Child;
      Child.Id = List[i];
      int X = 0;
      int Y = 0;
      unsigned Border = 0;
      unsigned Depth = 0;
      XGetGeometry(FDisplay, List[i], &Root, &X, &Y, &Child.Width, &Child.Height, &Border, &Depth);
      Result.push_back(Child);
    }
    if (List)
      XFree(List);
    return Result;
  }

  // Pixels of a window's top-left area, to see what the editor draws.
  std::vector<unsigned long> Pixels(Window AWindow)
  {
    XSync(FDisplay, False);
    std::vector<unsigned long> Result;
    XImage* Image = XGetImage(FDisplay, AWindow, 0, 0, 200, 48, AllPlanes, ZPixmap);
    if (!Image)
      return Result;
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 200; ++x)
        Result.push_back(XGetPixel(Image, x, y));
    XDestroyImage(Image);
    return Result;
  }

  // Waits up to two seconds for the editor thread's idle calls to redraw.
  template <typename TCondition> bool WaitFor(TCondition ACondition)
  {
    for (int i = 0; i < 200; ++i) {
      if (ACondition())
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  DWORD Load(DWORD AChannel, const QString& APath)
  {
    const DWORD Handle = B.Load(AChannel, APath);
    if (Handle)
      FLoaded.emplace_back(AChannel, Handle);
    return Handle;
  }

  const TVstBridge& B = TVstBridge::Get();
  Display* FDisplay = nullptr;
  std::vector<Window> FWindows;
  std::vector<std::pair<DWORD, DWORD>> FLoaded;
};

} // namespace

TEST_F(VstEditor, OwnEditorOpensInTheWindowRedrawsOnIdleAndCloses)
{
  const DWORD Handle = Load(0, TestGainPath());
  ASSERT_NE(Handle, 0u);
  BASS_VST_INFO Info{};
  ASSERT_TRUE(B.GetInfo(Handle, &Info));
  EXPECT_EQ(Info.hasEditor, 1u);
  EXPECT_EQ(Info.editorWidth, 320u);
  EXPECT_EQ(Info.editorHeight, 200u);

  const Window Parent = MakeWindow();
  ASSERT_TRUE(B.EmbedEditor(Handle, Parent));
  auto Made = Children(Parent);
  ASSERT_EQ(Made.size(), 1u);
  EXPECT_EQ(Made[0].Width, 320u);
  EXPECT_EQ(Made[0].Height, 200u);

  // The editor draws only from its idle call; a changed gain shows up without any call of ours.
  const Window Editor = Made[0].Id;
  const unsigned long White = WhitePixel(FDisplay, DefaultScreen(FDisplay));
  ASSERT_TRUE(WaitFor([&] {
    const auto Now = Pixels(Editor);
    return std::any_of(Now.begin(), Now.end(), [&](unsigned long P) { return P != White; });
  })) << "nothing drawn: no idle calls";
  const auto Before = Pixels(Editor);
  B.SetParam(Handle, 0, 1.0f);
  EXPECT_TRUE(WaitFor([&] { return Pixels(Editor) != Before; })) << "no redraw after a change";

  ASSERT_TRUE(B.EmbedEditor(Handle, 0));
  EXPECT_TRUE(Children(Parent).empty());
  // Closing what is closed is fine.
  EXPECT_TRUE(B.EmbedEditor(Handle, 0));
}

TEST_F(VstEditor, ReopeningInAnotherWindowMovesTheEditor)
{
  const DWORD Handle = Load(0, TestGainPath());
  ASSERT_NE(Handle, 0u);
  const Window First = MakeWindow();
  const Window Second = MakeWindow();
  ASSERT_TRUE(B.EmbedEditor(Handle, First));
  ASSERT_TRUE(B.EmbedEditor(Handle, Second));
  EXPECT_TRUE(Children(First).empty());
  EXPECT_EQ(Children(Second).size(), 1u);
}

TEST_F(VstEditor, RemovingThePluginClosesItsEditor)
{
  const DWORD Handle = B.Load(0, TestGainPath());
  ASSERT_NE(Handle, 0u);
  const Window Parent = MakeWindow();
  ASSERT_TRUE(B.EmbedEditor(Handle, Parent));
  ASSERT_EQ(Children(Parent).size(), 1u);
  ASSERT_TRUE(B.ChannelRemoveDSP(0, Handle));
  EXPECT_TRUE(Children(Parent).empty());
}

TEST_F(VstEditor, WindowThatIsGoneOrPluginWithoutEditorIsRefused)
{
  const DWORD Handle = Load(0, TestGainPath());
  ASSERT_NE(Handle, 0u);
  // A window id that existed a moment ago: the plug-in's own X calls on it would end the process.
  const Window Gone = MakeWindow();
  XDestroyWindow(FDisplay, Gone);
  XSync(FDisplay, False);
  std::erase(FWindows, Gone);
  EXPECT_FALSE(B.EmbedEditor(Handle, Gone));

  if (QFileInfo::exists(QStringLiteral("/usr/lib/vst/MaFreeverb-vst.so"))) {
    const DWORD NoEditor = Load(0, QStringLiteral("/usr/lib/vst/MaFreeverb-vst.so"));
    ASSERT_NE(NoEditor, 0u);
    const Window Parent = MakeWindow();
    EXPECT_FALSE(B.EmbedEditor(NoEditor, Parent));
    EXPECT_TRUE(Children(Parent).empty());
  }
}

TEST_F(VstEditor, SystemPluginEditorEmbedsAndCloses)
{
  const QString Path = QStringLiteral("/usr/lib/vst/3BandEQ-vst.so");
  if (!QFileInfo::exists(Path))
    GTEST_SKIP() << "Debian's dpf-plugins-vst is not installed";
  const DWORD Handle = Load(0, Path);
  ASSERT_NE(Handle, 0u);
  BASS_VST_INFO Info{};
  ASSERT_TRUE(B.GetInfo(Handle, &Info));
  ASSERT_EQ(Info.hasEditor, 1u);
  ASSERT_GT(Info.editorWidth, 0u);

  const Window Parent = MakeWindow();
  ASSERT_TRUE(B.EmbedEditor(Handle, Parent));
  const auto Made = Children(Parent);
  ASSERT_EQ(Made.size(), 1u);
  EXPECT_EQ(Made[0].Width, Info.editorWidth);
  EXPECT_EQ(Made[0].Height, Info.editorHeight);
  // Let it run a few idle rounds with a parameter moving underneath.
  for (int i = 0; i < 10; ++i) {
    B.SetParam(Handle, 0, static_cast<float>(i) / 10.0f);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  ASSERT_TRUE(B.EmbedEditor(Handle, 0));
  EXPECT_TRUE(Children(Parent).empty());
}
