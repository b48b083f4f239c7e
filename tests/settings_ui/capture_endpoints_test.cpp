// The capture endpoint list against a private sound server, and without one.
#include "private_sound_server.h"

#include "audio/basswasapi.h"
#include "settings_ui/capture_endpoints.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using TCaptureEndpointsTest = TSoundServerTest;

TEST_F(TCaptureEndpointsTest, ListsEnabledSourcesButNeverAnOutputOrItsMonitor)
{
  // What the caller already has in the names stays; the identifiers start afresh.
  TCaptureEndpointNames Names{{QStringLiteral("kept"), 99}};
  QStringList Ids{QStringLiteral("stale")};
  EXPECT_TRUE(ListCaptureEndpoints(Names, Ids));

  EXPECT_EQ(Ids, QStringList({"source.null", "mic_a", "mic_b"}));
  ASSERT_EQ(Names.size(), 4);
  EXPECT_EQ(Names.at(0).Name, QStringLiteral("kept"));
  EXPECT_EQ(Names.at(1).Name, QStringLiteral("Null Input"));
  // Two endpoints with one name are both listed; their identifiers tell them apart.
  EXPECT_EQ(Names.at(2).Name, QStringLiteral("Studio"));
  EXPECT_EQ(Names.at(3).Name, QStringLiteral("Studio"));

  // The attached number is the endpoint's index in the library's list, which also holds the
  // sink and its monitor, so it is not the position in the names.
  for (int I = 0; I < Ids.size(); ++I) {
    BASS_WASAPI_DEVICEINFO Info{};
    ASSERT_TRUE(BASS_WASAPI_GetDeviceInfo(Names.at(I + 1).DeviceIndex, &Info));
    EXPECT_EQ(QString::fromUtf8(Info.id), Ids.at(I));
    EXPECT_NE(Names.at(I + 1).DeviceIndex, static_cast<quint32>(I));
  }
}

// Both lists are empty either way; only the result tells a missing server from a server
// without microphones.
TEST(TCaptureEndpointsNoServerTest, ListIsEmptyAndSaysSo)
{
  QTemporaryDir Dir;
  ASSERT_TRUE(Dir.isValid());
  TSoundServerOverride Override(NoSoundServerAddress(Dir.path()));
  TCaptureEndpointNames Names;
  QStringList Ids{QStringLiteral("stale")};
  EXPECT_FALSE(ListCaptureEndpoints(Names, Ids));
  EXPECT_TRUE(Names.isEmpty());
  EXPECT_TRUE(Ids.isEmpty());
}

using TCaptureEndpointsWithoutSourcesTest = TSoundServerWithoutSourcesTest;

TEST_F(TCaptureEndpointsWithoutSourcesTest, ListIsEmptyButTheServerAnswered)
{
  TCaptureEndpointNames Names;
  QStringList Ids;
  EXPECT_TRUE(ListCaptureEndpoints(Names, Ids));
  EXPECT_TRUE(Names.isEmpty());
  EXPECT_TRUE(Ids.isEmpty());
}

} // namespace
