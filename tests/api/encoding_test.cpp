// What the client sends and shows, computed without a server: URL encoding, addresses, the
// upload form against an independent Base64, and start times.
#include "api/start_time.h"
#include "api/station_address.h"
#include "api/upload_form.h"
#include "api_test_support.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <sys/time.h>

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

namespace {

QByteArray RandomBytes(qint64 ASize, quint32 ASeed)
{
  QByteArray Content(ASize, Qt::Uninitialized);
  QRandomGenerator Random{ASeed};
  for (char& C : Content)
    C = char(Random.bounded(256));
  return Content;
}

// Reads the streamed form to its end (or failure) in reads of ASize bytes.
qint64 ReadAll(TUploadForm& AForm, QByteArray& AOut, qint64 ASize)
{
  QByteArray Piece(ASize, Qt::Uninitialized);
  for (;;) {
    const qint64 Got = AForm.Read(Piece.data(), ASize);
    if (Got <= 0)
      return Got;
    AOut.append(Piece.constData(), Got);
  }
}

} // namespace

TEST(UploadForm, StreamedFormEqualsTheWholeFormInAnyReadSize)
{
  QTemporaryDir Dir;
  const QString Path = Dir.filePath("big.flac");
  const qint64 P = TUploadForm::PieceBytes;
  for (const qint64 Size : {0LL, 1LL, 2LL, 3LL, 56LL, 58LL, P - 1, P, P + 1, 3 * P + 55}) {
    QFile File(Path);
    ASSERT_TRUE(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
    File.write(RandomBytes(Size, quint32(Size) + 7));
    File.close();
    const QByteArray Whole = BuildUploadForm("u", "p", Path, 2);
    // Reads of one byte cross every boundary of the form; odd sizes land anywhere in a piece.
    for (const qint64 ReadSize : {1LL, 4093LL, 1LL << 20}) {
      if (ReadSize == 1 && Size > P + 1)
        continue;
      TUploadForm Form("u", "p", Path, 2);
      ASSERT_TRUE(Form.Prepare()) << Form.Error().toStdString();
      EXPECT_EQ(Form.Size(), Whole.size()) << Size;
      QByteArray Streamed;
      EXPECT_EQ(ReadAll(Form, Streamed, ReadSize), 0) << Form.Error().toStdString();
      EXPECT_EQ(Streamed, Whole) << Size << " bytes read " << ReadSize << " at a time";
    }
  }
}

TEST(UploadForm, FileThatChangesWhileStreamedStopsTheForm)
{
  QTemporaryDir Dir;
  const QString Path = Dir.filePath("take.flac");
  const QString Other = Dir.filePath("other.flac");
  // Longer than the pieces encoded ahead of the sending, so that some are read after the change.
  const QByteArray Content = RandomBytes(8 * TUploadForm::PieceBytes, 1);
  const struct
  {
    const char* What;
    std::function<void()> Change;
    const char* Message;
  } Cases[] = {
      {"cut short", [&] { QFile(Path).resize(TUploadForm::PieceBytes / 2); }, "became shorter"},
      {"grown",
       [&] {
         QFile File(Path);
         File.open(QIODevice::Append);
         File.write("more");
       },
       "changed"},
      {"rewritten in place",
       [&] {
         QFile File(Path);
         File.open(QIODevice::ReadWrite);
         File.seek(6 * TUploadForm::PieceBytes);
         File.write("x");
       },
       "changed"},
      {"deleted", [&] { QFile::remove(Path); }, "deleted or replaced"},
      {"replaced", [&] { std::rename(qPrintable(Other), qPrintable(Path)); },
       "deleted or replaced"},
  };
  for (const auto& Case : Cases) {
    for (const bool BeforeCounting : {false, true}) {
      for (const QString& Name : {Path, Other}) {
        QFile File(Name);
        ASSERT_TRUE(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
        File.write(Content);
        File.close();
        // An old time, so that a change within the clock's resolution still shows.
        const timeval Old[2] = {{1600000000, 0}, {1600000000, 0}};
        ASSERT_EQ(::utimes(qPrintable(Name), Old), 0);
      }
      TUploadForm Form("u", "p", Path, 1);
      QByteArray Out(100000, Qt::Uninitialized);
      if (BeforeCounting) {
        Case.Change();
        EXPECT_FALSE(Form.Prepare()) << Case.What;
      } else {
        ASSERT_TRUE(Form.Prepare());
        ASSERT_EQ(Form.Read(Out.data(), Out.size()), Out.size());
        Case.Change();
        QByteArray Rest;
        EXPECT_EQ(ReadAll(Form, Rest, Out.size()), -1) << Case.What;
        EXPECT_EQ(Form.Read(Out.data(), Out.size()), -1) << "stays failed";
      }
      EXPECT_TRUE(Form.Error().contains(Case.Message))
          << Case.What << ": " << Form.Error().toStdString();
      EXPECT_TRUE(Form.Error().contains(Path)) << Form.Error().toStdString();
    }
  }
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
