// Test runner: GoogleTest on top of a Qt application object, so that queued calls, timers and
// (for GUI tests) widgets work. Widgets run on the offscreen platform unless told otherwise.
#include <gtest/gtest.h>

#ifdef VEXMO_TEST_GUI
#include <QApplication>
using TTestApplication = QApplication;
#else
#include <QCoreApplication>
using TTestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  TTestApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
