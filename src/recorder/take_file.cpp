#include "recorder/take_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int CHeaderSize = 44;
constexpr uint16_t CFormatFloat = 3;

void Put16(uint8_t* AAt, uint16_t AValue)
{
  AAt[0] = uint8_t(AValue);
  AAt[1] = uint8_t(AValue >> 8);
}

void Put32(uint8_t* AAt, uint32_t AValue)
{
  for (int I = 0; I < 4; ++I)
    AAt[I] = uint8_t(AValue >> (8 * I));
}

uint32_t Get32(const uint8_t* AAt)
{
  return uint32_t(AAt[0]) | uint32_t(AAt[1]) << 8 | uint32_t(AAt[2]) << 16 | uint32_t(AAt[3]) << 24;
}

uint16_t Get16(const uint8_t* AAt)
{
  return uint16_t(AAt[0] | AAt[1] << 8);
}

// Sizes above 4 GiB cannot be told in a WAV header; the header then says as much as it can.
uint32_t Clamp32(uint64_t AValue)
{
  return AValue > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(AValue);
}

void BuildHeader(uint8_t* AHeader, int ARate, int AChans, uint64_t ADataBytes)
{
  std::memcpy(AHeader, "RIFF", 4);
  Put32(AHeader + 4, Clamp32(ADataBytes + CHeaderSize - 8));
  std::memcpy(AHeader + 8, "WAVEfmt ", 8);
  Put32(AHeader + 16, 16);
  Put16(AHeader + 20, CFormatFloat);
  Put16(AHeader + 22, uint16_t(AChans));
  Put32(AHeader + 24, uint32_t(ARate));
  Put32(AHeader + 28, uint32_t(ARate * AChans * 4));
  Put16(AHeader + 32, uint16_t(AChans * 4));
  Put16(AHeader + 34, 32);
  std::memcpy(AHeader + 36, "data", 4);
  Put32(AHeader + 40, Clamp32(ADataBytes));
}

bool WriteAll(int AFd, const void* AData, size_t ASize, int64_t AOffset = -1)
{
  auto* At = static_cast<const char*>(AData);
  while (ASize > 0) {
    const ssize_t Done = AOffset < 0 ? ::write(AFd, At, ASize) : ::pwrite(AFd, At, ASize, AOffset);
    if (Done < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    if (Done == 0) {
      errno = ENOSPC;
      return false;
    }
    At += Done;
    ASize -= size_t(Done);
    if (AOffset >= 0)
      AOffset += Done;
  }
  return true;
}

// Reads and checks our header: float WAV with the data chunk right after the format chunk.
bool ParseHeader(const uint8_t* AHeader, int& ARate, int& AChans, uint32_t& ADataBytes)
{
  if (std::memcmp(AHeader, "RIFF", 4) != 0 || std::memcmp(AHeader + 8, "WAVEfmt ", 8) != 0 ||
      Get32(AHeader + 16) != 16 || Get16(AHeader + 20) != CFormatFloat ||
      Get16(AHeader + 34) != 32 || std::memcmp(AHeader + 36, "data", 4) != 0)
    return false;
  AChans = Get16(AHeader + 22);
  ARate = int(Get32(AHeader + 24));
  ADataBytes = Get32(AHeader + 40);
  return AChans > 0 && AChans <= 8 && ARate > 0 && ARate <= 384000;
}

void SetError(QString* AError, const QString& AText)
{
  if (AError)
    *AError = AText;
}

} // namespace

TTakeFile::~TTakeFile()
{
  Close();
}

bool TTakeFile::Fail(const QString& AWhat, int AErrno)
{
  FError =
      QStringLiteral("%1 (%2): %3")
          .arg(AWhat, QDir::toNativeSeparators(FPath), QString::fromLocal8Bit(strerror(AErrno)));
  return false;
}

bool TTakeFile::Create(const QString& APath, int ARate, int AChans)
{
  Close();
  FPath = APath;
  FChans = AChans;
  FFrames = 0;
  FError.clear();
  FFd = ::open(QFile::encodeName(APath).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (FFd < 0)
    return Fail(QStringLiteral("Cannot create the take file"), errno);
  uint8_t Header[CHeaderSize];
  BuildHeader(Header, ARate, AChans, 0);
  // The rate is kept for later patches in the header itself: Flush rewrites only the sizes.
  if (!WriteAll(FFd, Header, sizeof Header)) {
    const int Err = errno;
    ::close(FFd);
    FFd = -1;
    ::unlink(QFile::encodeName(APath).constData());
    return Fail(QStringLiteral("Cannot write the take file"), Err);
  }
  return true;
}

bool TTakeFile::Write(const float* ASamples, int64_t AFrames)
{
  if (FFd < 0)
    return false;
  const size_t Bytes = size_t(AFrames) * size_t(FChans) * sizeof(float);
  if (!WriteAll(FFd, ASamples, Bytes)) {
    const int Err = errno;
    // A partly written block is cut off again, so the file ends on a whole frame.
    ::ftruncate(FFd, CHeaderSize + FFrames * FChans * int64_t(sizeof(float)));
    ::lseek(FFd, 0, SEEK_END);
    return Fail(QStringLiteral("Cannot write the take file"), Err);
  }
  FFrames += AFrames;
  return true;
}

bool TTakeFile::Flush()
{
  if (FFd < 0)
    return false;
  const uint64_t DataBytes = uint64_t(FFrames) * uint64_t(FChans) * sizeof(float);
  uint8_t Sizes[4];
  Put32(Sizes, Clamp32(DataBytes + CHeaderSize - 8));
  bool Ok = WriteAll(FFd, Sizes, 4, 4);
  Put32(Sizes, Clamp32(DataBytes));
  Ok = Ok && WriteAll(FFd, Sizes, 4, 40);
  Ok = Ok && ::fdatasync(FFd) == 0;
  if (!Ok)
    return Fail(QStringLiteral("Cannot write the take file"), errno);
  return true;
}

bool TTakeFile::Close()
{
  if (FFd < 0)
    return true;
  const bool Ok = Flush();
  ::close(FFd);
  FFd = -1;
  return Ok;
}

QString TakeFileSuffix()
{
  return QStringLiteral(".take.wav");
}

QStringList FindUnfinishedTakes(const QString& AFolder)
{
  QDir Dir(AFolder);
  QStringList Result;
  const QFileInfoList Files =
      Dir.entryInfoList(QStringList{QLatin1Char('*') + TakeFileSuffix()}, QDir::Files, QDir::Time);
  for (const QFileInfo& File : Files)
    Result << File.absoluteFilePath();
  return Result;
}

bool RepairTakeFile(const QString& APath, QString* AError)
{
  const QByteArray Name = QFile::encodeName(APath);
  const int Fd = ::open(Name.constData(), O_RDWR | O_CLOEXEC);
  if (Fd < 0) {
    SetError(AError, QString::fromLocal8Bit(strerror(errno)));
    return false;
  }
  uint8_t Header[CHeaderSize];
  int Rate = 0, Chans = 0;
  uint32_t DataBytes = 0;
  struct stat Info
  {};
  bool Ok = ::pread(Fd, Header, sizeof Header, 0) == CHeaderSize &&
            ParseHeader(Header, Rate, Chans, DataBytes) && ::fstat(Fd, &Info) == 0;
  if (!Ok) {
    ::close(Fd);
    SetError(AError, QStringLiteral("not a take file"));
    return false;
  }
  const int64_t FrameBytes = int64_t(Chans) * 4;
  const int64_t Data = (int64_t(Info.st_size) - CHeaderSize) / FrameBytes * FrameBytes;
  if (CHeaderSize + Data != Info.st_size)
    Ok = ::ftruncate(Fd, CHeaderSize + Data) == 0;
  BuildHeader(Header, Rate, Chans, uint64_t(Data));
  Ok = Ok && WriteAll(Fd, Header, sizeof Header, 0) && ::fdatasync(Fd) == 0;
  if (!Ok)
    SetError(AError, QString::fromLocal8Bit(strerror(errno)));
  ::close(Fd);
  return Ok;
}

bool ReadTakeFile(const QString& APath, TTakeAudio& AAudio, QString* AError)
{
  QFile File(APath);
  if (!File.open(QIODevice::ReadOnly)) {
    SetError(AError, File.errorString());
    return false;
  }
  uint8_t Header[CHeaderSize];
  uint32_t DataBytes = 0;
  if (File.read(reinterpret_cast<char*>(Header), CHeaderSize) != CHeaderSize ||
      !ParseHeader(Header, AAudio.Rate, AAudio.Chans, DataBytes)) {
    SetError(AError, QStringLiteral("not a take file"));
    return false;
  }
  const int64_t FrameBytes = int64_t(AAudio.Chans) * 4;
  const int64_t Bytes =
      std::min<int64_t>(DataBytes, File.size() - CHeaderSize) / FrameBytes * FrameBytes;
  AAudio.Samples.resize(size_t(Bytes / 4));
  if (File.read(reinterpret_cast<char*>(AAudio.Samples.data()), Bytes) != Bytes) {
    SetError(AError, File.errorString());
    return false;
  }
  return true;
}
