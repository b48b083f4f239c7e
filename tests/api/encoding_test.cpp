// What the client sends and shows, computed without a server: URL encoding, addresses, the
// upload form against an independent Base64, and start times.
#include "api/start_time.h"
#include "api/station_address.h"
#include "api/upload_form.h"
#include "api_test_support.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(UrlEncoding, EncodesByTheRules)
{
  const struct
  {
    QString Text;
    QByteArray Encoded;
  } Cases[] = {
      {"a b&c/é", "a+b%26c%2F%C3%A9"},
      {"AZaz09!$'()*-.@_", "AZaz09!$'()*-.@_"},
      {"+/=", "%2B%2F%3D"},
      {"~#%?\"\r\n\x01", "%7E%23%25%3F%22%0D%0A%01"},
      {"€", "%E2%82%AC"},
      {QString::fromUcs4(U"\U0001F600"), "%F0%9F%98%80"}, // a surrogate pair is one code point
      {QString(QChar(0xD800)) + "x", "%EF%BF%BDx"},       // half a pair: replacement character
      {"", ""},
  };
  for (const auto& Case : Cases)
    EXPECT_EQ(URLEncode(Case.Text), Case.Encoded) << Case.Text.toStdString();
}

TEST(UrlEncoding, BaseAddressFollowsTheSettings)
{
  UseServer("192.168.1.10", 8000, "my user", "p&ss");
  EXPECT_EQ(GetBaseURL(false), "http://192.168.1.10:8000");
  EXPECT_EQ(GetBaseURL(true), "http://192.168.1.10:8000/?user=my+user&pass=p%26ss");
  UseServer("192.168.1.10", 8000, "my user", "p&ss", true);
  EXPECT_EQ(GetBaseURL(false), "https://192.168.1.10:8000");
  EXPECT_EQ(GetBaseURL(true), "https://192.168.1.10:8000/?user=my+user&pass=p%26ss");
  // The host goes in as stored, even when it looks like a placeholder.
  UseServer("host%1", 1, "%2", "%3");
  EXPECT_EQ(GetBaseURL(true), "http://host%1:1/?user=%252&pass=%253");
}

namespace {

// The form as the rules describe it, built the plain way: whole file, Base64, lines, encoding.
QByteArray ReferenceForm(const QByteArray& AContent)
{
  const QByteArray Base64 = AContent.toBase64();
  QByteArray Lines;
  for (qsizetype I = 0; I < Base64.size(); I += 76) {
    const QByteArray Line = Base64.mid(I, 76);
    Lines += Line;
    if (Line.size() == 76)
      Lines += "\r\n";
  }
  return "user=u&pass=p&action=vexmo&fn=big.flac&pos=2&vt=" + URLEncode(QString::fromLatin1(Lines));
}

} // namespace

TEST(UploadForm, MatchesThePlainEncodingAcrossReadPieces)
{
  QTemporaryDir Dir;
  // Sizes around the reading piece (57 * 4096 bytes) and the line length.
  for (const qint64 Size : {1LL, 2LL, 55LL, 56LL, 57LL * 4096, 57LL * 4096 + 1, 57LL * 8192 + 58}) {
    QByteArray Content(Size, Qt::Uninitialized);
    QRandomGenerator Random{quint32(Size)};
    for (char& C : Content)
      C = char(Random.bounded(256));
    const QString Path = Dir.filePath("big.flac");
    QFile File(Path);
    ASSERT_TRUE(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
    File.write(Content);
    File.close();
    EXPECT_EQ(BuildUploadForm("u", "p", Path, 2), ReferenceForm(Content)) << Size;
  }
}

TEST(UploadForm, UnreadableFileRaisesItsMessage)
{
  QTemporaryDir Dir;
  const QString Missing = Dir.filePath("gone.flac");
  try {
    BuildUploadForm("u", "p", Missing, 1);
    FAIL() << "no error";
  } catch (const TStreamError& E) {
    // The system's reason follows (its wording depends on the user's language).
    const QString Prefix = QString("Cannot open file \"%1\". ").arg(Missing);
    EXPECT_TRUE(E.Message().startsWith(Prefix)) << E.Message().toStdString();
    EXPECT_GT(E.Message().size(), Prefix.size());
  }
  // A folder opens on some systems but cannot be read.
  EXPECT_THROW(BuildUploadForm("u", "p", Dir.path(), 1), TStreamError);
}

TEST(StartTime, LongTimeFormatOfTheLocale)
{
  const QLocale German(QLocale::German, QLocale::Germany);
  const QLocale American(QLocale::English, QLocale::UnitedStates);
  const struct
  {
    QLocale Locale;
    QString Text;
    QString Shown;
  } Cases[] = {
      {German, "9:05:00", "09:05:00"},
      {American, "9:05:00", "9:05:00 AM"},
      {American, "23:59:59", "11:59:59 PM"},
      {German, "1:2:3", "01:02:03"},
      {German, "a:b:c", "00:00:00"}, // pieces that are no number count as 0
      {German, "9:05", "9:05"},      // not three pieces: unchanged
      {German, "", ""},
      {German, "1:2:3:4", "1:2:3:4"},
      // No time of day: unchanged, rather than failing the whole playlist.
      {German, "24:00:00", "24:00:00"},
      {German, "9:60:00", "9:60:00"},
      {German, "9:00:60", "9:00:60"},
      {German, "-1:00:00", "-1:00:00"},
  };
  for (const auto& Case : Cases)
    EXPECT_EQ(TStartTimeFormat(Case.Locale).Format(Case.Text), Case.Shown)
        << Case.Locale.name().toStdString() << " " << Case.Text.toStdString();
}

TEST(StartTime, ZoneFieldIsDropped)
{
  for (const QLocale& Locale :
       {QLocale(QLocale::German, QLocale::Germany),
        QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::French, QLocale::France),
        QLocale(QLocale::Japanese, QLocale::Japan), QLocale::c()}) {
    const QString Format = LongTimeFormatWithoutZone(Locale);
    ASSERT_TRUE(Locale.timeFormat(QLocale::LongFormat).contains(u't')) << Format.toStdString();
    EXPECT_FALSE(Format.contains(u't')) << Format.toStdString();
    EXPECT_EQ(Format, Format.trimmed());
    // The seconds are still there.
    EXPECT_TRUE(Locale.toString(QTime(1, 2, 3), Format).contains(u"03")) << Format.toStdString();
  }
}
