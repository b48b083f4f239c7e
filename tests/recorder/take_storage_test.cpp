// The take's work file: written while recording, read back by outside tools, surviving a killed
// process and a disk that refuses data.
#include "recorder/take_file.h"
#include "recorder/take_writer.h"
#include "recorder_test_helpers.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

int64_t SoxFrames(const QString& APath)
{
  int Exit = 0;
  const QString Out = RunTool(QStringLiteral("sox"), {"--i", "-s", APath}, &Exit);
  return Exit == 0 ? Out.toLongLong() : -1;
}

// Pushes ASeconds of a tone in 10 ms blocks, as an audio callback would.
void PushTone(TTakeWriter& AWriter, int ARate, int AChans, double ASeconds, bool APace)
{
  const TTakeAudio Tone = SilenceToneSilence(ARate, AChans, 0, ASeconds, -6);
  const int64_t Block = ARate / 100;
  for (int64_t F = 0; F + Block <= Tone.Frames(); F += Block) {
    AWriter.Push(Tone.Samples.data() + F * AChans, Block);
    if (APace)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

} // namespace

TEST(TakeStorage, WrittenTakeIsAFloatWavThatOutsideReadersAgreeOn)
{
  QTemporaryDir Dir;
  const QString Path = Dir.filePath(QStringLiteral("a") + TakeFileSuffix());
  TTakeWriter Writer;
  ASSERT_TRUE(Writer.Start(Path, 44100, 2));
  PushTone(Writer, 44100, 2, 1.0, false);
  ASSERT_TRUE(Writer.Stop());
  EXPECT_EQ(Writer.FramesWritten(), 44100);
  EXPECT_EQ(Writer.Overflows(), 0u);
  EXPECT_EQ(SoxFrames(Path), 44100);
  EXPECT_EQ(Writer.Overview().Frames(), 44100);

  TTakeAudio Back;
  ASSERT_TRUE(ReadTakeFile(Path, Back));
  EXPECT_EQ(Back.Rate, 44100);
  EXPECT_EQ(Back.Chans, 2);
  EXPECT_EQ(Back.Frames(), 44100);
  EXPECT_EQ(Back.Samples, SilenceToneSilence(44100, 2, 0, 1.0, -6).Samples);

  // A take file is never replaced by a new one.
  TTakeWriter Second;
  EXPECT_FALSE(Second.Start(Path, 44100, 2));
  EXPECT_FALSE(Second.Error().isEmpty());
  EXPECT_EQ(SoxFrames(Path), 44100);
}

TEST(TakeStorage, BlocksThatFindTheRingFullAreDroppedWholeAndCounted)
{
  QTemporaryDir Dir;
  TTakeWriter Writer(0.05); // 2205 frames
  ASSERT_TRUE(Writer.Start(Dir.filePath(QStringLiteral("b") + TakeFileSuffix()), 44100, 1));
  std::vector<float> Big(44100, 0.25f);
  EXPECT_FALSE(Writer.Push(Big.data(), 44100));
  EXPECT_TRUE(Writer.Push(Big.data(), 441));
  ASSERT_TRUE(Writer.Stop());
  EXPECT_EQ(Writer.Overflows(), 1u);
  EXPECT_EQ(Writer.DroppedFrames(), 44100u);
  EXPECT_EQ(Writer.FramesWritten(), 441);
}

TEST(TakeStorage, KilledRecordingLeavesAPlayableFileThatIsFoundAndRepaired)
{
  QTemporaryDir Dir;
  const QString Path = Dir.filePath(QStringLiteral("VoiceTrack x") + TakeFileSuffix());
  const pid_t Child = ::fork();
  ASSERT_GE(Child, 0);
  if (Child == 0) {
    TTakeWriter Writer;
    Writer.SetFlushInterval(100);
    if (!Writer.Start(Path, 48000, 1))
      ::_exit(2);
    PushTone(Writer, 48000, 1, 30.0, true);
    ::_exit(3); // never reached: killed first
  }
  ::usleep(800 * 1000);
  ::kill(Child, SIGKILL);
  int Status = 0;
  ::waitpid(Child, &Status, 0);
  ASSERT_TRUE(WIFSIGNALED(Status));

  // Playable as it stands: the header covers what was flushed.
  const int64_t Before = SoxFrames(Path);
  EXPECT_GT(Before, 48000 / 4);
  int Exit = 0;
  RunTool(QStringLiteral("sox"), {Path, "-n", "stat"}, &Exit);
  EXPECT_EQ(Exit, 0);

  EXPECT_EQ(FindUnfinishedTakes(Dir.path()), QStringList{QFileInfo(Path).absoluteFilePath()});
  QString Error;
  ASSERT_TRUE(RepairTakeFile(Path, &Error)) << Error.toStdString();
  const int64_t After = SoxFrames(Path);
  EXPECT_GE(After, Before);
  EXPECT_EQ(After, (QFileInfo(Path).size() - 44) / 4);
  TTakeAudio Back;
  ASSERT_TRUE(ReadTakeFile(Path, Back));
  EXPECT_EQ(Back.Frames(), After);
}

TEST(TakeStorage, RepairCutsOffAPartlyWrittenFrameAndRefusesOtherFiles)
{
  QTemporaryDir Dir;
  const QString Path = Dir.filePath(QStringLiteral("c") + TakeFileSuffix());
  {
    TTakeFile File;
    ASSERT_TRUE(File.Create(Path, 44100, 2));
    std::vector<float> Frames(200, 0.5f);
    ASSERT_TRUE(File.Write(Frames.data(), 100));
    ASSERT_TRUE(File.Close());
  }
  {
    QFile F(Path);
    ASSERT_TRUE(F.open(QIODevice::Append));
    F.write("\0\0\0\0\0", 5); // half a frame from a write cut short
  }
  ASSERT_TRUE(RepairTakeFile(Path));
  EXPECT_EQ(QFileInfo(Path).size(), 44 + 100 * 8);
  EXPECT_EQ(SoxFrames(Path), 100);

  const QString Other = Dir.filePath(QStringLiteral("d") + TakeFileSuffix());
  {
    QFile F(Other);
    ASSERT_TRUE(F.open(QIODevice::WriteOnly));
    F.write(QByteArray(100, 'x'));
  }
  QString Error;
  EXPECT_FALSE(RepairTakeFile(Other, &Error));
  EXPECT_FALSE(Error.isEmpty());
  EXPECT_EQ(QFileInfo(Other).size(), 100);
}

TEST(TakeStorage, DiskRefusingDataStopsTheWriterAndKeepsWhatWasWritten)
{
  QTemporaryDir Dir;
  const QString Path = Dir.filePath(QStringLiteral("e") + TakeFileSuffix());
  // A file-size limit makes write(2) fail the way a full disk does, without needing one.
  rlimit Old{};
  ::getrlimit(RLIMIT_FSIZE, &Old);
  auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit Small = Old;
  Small.rlim_cur = 44 + 8 * 10000 + 3;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Small), 0);

  TTakeWriter Writer;
  const bool Started = Writer.Start(Path, 44100, 2);
  if (Started) {
    PushTone(Writer, 44100, 2, 0.5, false);
    for (int I = 0; I < 200 && !Writer.Failed(); ++I)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(Writer.Push(std::vector<float>(20, 0.f).data(), 10));
    Writer.Stop();
  }
  ::setrlimit(RLIMIT_FSIZE, &Old);
  std::signal(SIGXFSZ, OldHandler);

  ASSERT_TRUE(Started);
  EXPECT_TRUE(Writer.Failed());
  EXPECT_TRUE(Writer.Error().contains(QStringLiteral("File too large")))
      << Writer.Error().toStdString();
  // Whole frames only, and the header says how many.
  const int64_t Frames = SoxFrames(Path);
  EXPECT_EQ(Frames, Writer.FramesWritten());
  EXPECT_EQ(QFileInfo(Path).size(), 44 + Frames * 8);
  EXPECT_GT(Frames, 0);
  EXPECT_LE(Frames, 10000);
}
