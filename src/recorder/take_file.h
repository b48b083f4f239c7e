// The file a take streams into while it is recorded: a WAV file of 32-bit float samples in the
// voice-track folder. The header's sizes are patched and the data flushed to disk about once a
// second, so a crash of the program or of the machine leaves a playable file holding everything
// up to the last second; the next start finds it (FindUnfinishedTakes) and repairs its header
// from the file's length (RepairTakeFile).
//
// Float keeps whatever the chain produced, also above full scale, until the take is used.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

// Samples of a whole take in memory, interleaved.
struct TTakeAudio
{
  int Rate = 0;
  int Chans = 0;
  std::vector<float> Samples;

  int64_t Frames() const { return Chans > 0 ? static_cast<int64_t>(Samples.size()) / Chans : 0; }
};

class TTakeFile
{
public:
  TTakeFile() = default;
  ~TTakeFile();
  TTakeFile(const TTakeFile&) = delete;
  TTakeFile& operator=(const TTakeFile&) = delete;

  // Creates the file (never replaces one); false with Error() on failure.
  bool Create(const QString& APath, int ARate, int AChans);
  // Appends AFrames frames. False with Error() when the disk refused them; what was written
  // before stays and is covered by the next Flush.
  bool Write(const float* ASamples, int64_t AFrames);
  // Patches the header to the frames written so far and flushes the data to disk.
  bool Flush();
  // Flush, then close. Safe to call twice.
  bool Close();

  bool IsOpen() const { return FFd >= 0; }
  int64_t FramesWritten() const { return FFrames; }
  QString Error() const { return FError; }
  QString Path() const { return FPath; }

private:
  bool Fail(const QString& AWhat, int AErrno);

  int FFd = -1;
  int FChans = 0;
  int64_t FFrames = 0;
  QString FPath;
  QString FError;
};

// Work files of takes that were not used or discarded, newest first.
QStringList FindUnfinishedTakes(const QString& AFolder);
// The file name part that marks a take's work file.
QString TakeFileSuffix();

// Sets the header's sizes from the file's length (cutting off a partly written frame). False with
// AError when the file is not one of our take files.
bool RepairTakeFile(const QString& APath, QString* AError = nullptr);
// Reads a take file whole; the length comes from the header (repair first after a crash).
bool ReadTakeFile(const QString& APath, TTakeAudio& AAudio, QString* AError = nullptr);
