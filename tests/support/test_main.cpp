// Test runner: GoogleTest on top of a Qt application object, so that queued calls, timers and
// (for GUI tests) widgets work. Widgets run on the offscreen platform unless told otherwise.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>

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
  // A run registered under another locale (VEXMO_TEST_DECIMAL_POINT=,) must really have it: the
  // application object has taken the locale from the environment, and a missing locale would
  // silently leave "." in place.
  if (const QByteArray Wanted = qgetenv("VEXMO_TEST_DECIMAL_POINT"); !Wanted.isEmpty()) {
    const char* Have = std::localeconv()->decimal_point;
    if (Wanted != Have) {
      std::fprintf(
          stderr, "test run needs the decimal point '%s' (LC_ALL=%s, LOCPATH=%s), has '%s'\n",
          Wanted.constData(), qgetenv("LC_ALL").constData(), qgetenv("LOCPATH").constData(), Have);
      return 1;
    }
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
