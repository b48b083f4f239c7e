// A process that ends with plug-ins still attached to the bridge ends cleanly: Debian's
// plug-ins free their own static objects at exit, and nothing may call into them afterwards.
#include "vst_bridge.h"

#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

TEST(VstExit, HostEndsCleanlyWithPluginsStillAttached)
{
  struct TCase
  {
    QString Plugin;
    bool System; // from a Debian package
  };
  const TCase Cases[] = {
      {QStringLiteral("/usr/lib/vst/MaFreeverb-vst.so"), true},
      {QStringLiteral("/usr/lib/vst/3BandEQ-vst.so"), true},
      {QStringLiteral("/usr/lib/vst/lsp-plugins/comp-delay-x2-stereo.so"), true},
      {TestGainPath(), false},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Plugin.toStdString());
    if (Case.System && !QFileInfo::exists(Case.Plugin)) {
      ADD_FAILURE() << "missing: install dpf-plugins-vst and lsp-plugins-vst";
      continue;
    }
    QProcess Host;
    Host.start(QStringLiteral(VEXMO_VST_EXIT_HOST),
               {QStringLiteral(VEXMO_BIN_DIR "libbass_vst.so"), Case.Plugin});
    ASSERT_TRUE(Host.waitForFinished(60000));
    EXPECT_EQ(Host.exitStatus(), QProcess::NormalExit) << Host.readAllStandardError().constData();
    EXPECT_EQ(Host.exitCode(), 0) << Host.readAllStandardError().constData();
    EXPECT_EQ(Host.readAllStandardOutput(), QByteArray("attached\n"));
  }
}

} // namespace
