#include "api/upload_form.h"

#include "api/station_address.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

TStreamError::TStreamError(const QString& AMessage)
    : std::runtime_error(AMessage.toStdString()), FMessage(AMessage)
{}

namespace {

// One Base64 line is 57 bytes of input; reading whole lines keeps the line breaks in place.
constexpr qint64 LineBytes = 57;
constexpr qint64 ChunkBytes = LineBytes * 4096;

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Writes one Base64 character in its URL-encoded form; returns the new end.
inline char* PutSextet(char* AOut, unsigned AValue)
{
  if (AValue < 62) {
    *AOut++ = Alphabet[AValue];
  } else {
    *AOut++ = '%';
    *AOut++ = '2';
    *AOut++ = AValue == 62 ? 'B' : 'F';
  }
  return AOut;
}

inline char* PutPad(char* AOut)
{
  *AOut++ = '%';
  *AOut++ = '3';
  *AOut++ = 'D';
  return AOut;
}

inline char* PutLineBreak(char* AOut)
{
  static const char Break[] = "%0D%0A";
  for (int I = 0; I < 6; ++I)
    *AOut++ = Break[I];
  return AOut;
}

// Encodes ASize bytes (whole lines, and at the end of the file the rest) into AOut, which has
// room for the worst case of 3 bytes per Base64 character plus 6 per line break.
char* EncodePiece(const unsigned char* AData, qint64 ASize, char* AOut)
{
  qint64 Pos = 0;
  while (ASize - Pos >= LineBytes) {
    for (const unsigned char* P = AData + Pos; P < AData + Pos + LineBytes; P += 3) {
      const unsigned Group = (unsigned(P[0]) << 16) | (unsigned(P[1]) << 8) | P[2];
      AOut = PutSextet(AOut, Group >> 18);
      AOut = PutSextet(AOut, (Group >> 12) & 63);
      AOut = PutSextet(AOut, (Group >> 6) & 63);
      AOut = PutSextet(AOut, Group & 63);
    }
    AOut = PutLineBreak(AOut);
    Pos += LineBytes;
  }
  // The last, shorter line.
  const qint64 LastLineStart = Pos;
  for (; ASize - Pos >= 3; Pos += 3) {
    const unsigned char* P = AData + Pos;
    const unsigned Group = (unsigned(P[0]) << 16) | (unsigned(P[1]) << 8) | P[2];
    AOut = PutSextet(AOut, Group >> 18);
    AOut = PutSextet(AOut, (Group >> 12) & 63);
    AOut = PutSextet(AOut, (Group >> 6) & 63);
    AOut = PutSextet(AOut, Group & 63);
  }
  if (ASize - Pos == 1) {
    const unsigned Group = unsigned(AData[Pos]) << 16;
    AOut = PutSextet(AOut, Group >> 18);
    AOut = PutSextet(AOut, (Group >> 12) & 63);
    AOut = PutPad(AOut);
    AOut = PutPad(AOut);
  } else if (ASize - Pos == 2) {
    const unsigned Group = (unsigned(AData[Pos]) << 16) | (unsigned(AData[Pos + 1]) << 8);
    AOut = PutSextet(AOut, Group >> 18);
    AOut = PutSextet(AOut, (Group >> 12) & 63);
    AOut = PutSextet(AOut, (Group >> 6) & 63);
    AOut = PutPad(AOut);
  }
  // 55 or 56 bytes also fill a line of 76 characters (with padding), and every full line ends in
  // a break.
  if (ASize - LastLineStart >= LineBytes - 2)
    AOut = PutLineBreak(AOut);
  return AOut;
}

// Room for the encoded form of ASize bytes when 2 of 64 Base64 characters ("+" and "/") take
// three bytes, as in compressed audio, plus a little slack; other data just grows the buffer.
qint64 ExpectedEncodedSize(qint64 ASize)
{
  const qint64 Chars = (ASize + 2) / 3 * 4;
  const qint64 Breaks = ASize / LineBytes;
  return Chars + Chars / 16 + Chars / 256 + Breaks * 6 + 64;
}

// Reads until the buffer is full or the file ends; a short read in the middle would otherwise
// shift the line breaks.
qint64 ReadFully(QFile& AFile, char* ABuffer, qint64 ASize)
{
  qint64 Total = 0;
  while (Total < ASize) {
    const qint64 Got = AFile.read(ABuffer + Total, ASize - Total);
    if (Got < 0)
      return -1;
    if (Got == 0)
      break;
    Total += Got;
  }
  return Total;
}

} // namespace

QByteArray BuildUploadForm(const QString& AUser, const QString& APass, const QString& AFileName,
                           int APos)
{
  QFile File(AFileName);
  if (!File.open(QIODevice::ReadOnly))
    throw TStreamError(
        QStringLiteral("Cannot open file \"%1\". %2").arg(AFileName, File.errorString()));
  const qint64 FileSize = File.size();

  QByteArray Form;
  Form.reserve(ExpectedEncodedSize(FileSize) + 256);
  Form.append("user=");
  URLEncodeAppend(Form, AUser);
  Form.append("&pass=");
  URLEncodeAppend(Form, APass);
  Form.append("&action=vexmo&fn=");
  URLEncodeAppend(Form, QFileInfo(AFileName).fileName());
  Form.append("&pos=");
  Form.append(QByteArray::number(APos));
  Form.append("&vt=");

  const auto Chunk = std::make_unique<unsigned char[]>(ChunkBytes);
  // Worst case of one chunk: 4 characters of 3 bytes per 3 input bytes, 6 per line break.
  constexpr qint64 ChunkWorstCase = ChunkBytes / 3 * 12 + ChunkBytes / LineBytes * 6 + 16;
  for (;;) {
    const qint64 Got = ReadFully(File, reinterpret_cast<char*>(Chunk.get()), ChunkBytes);
    if (Got < 0)
      throw TStreamError(
          QStringLiteral("Cannot read file \"%1\". %2").arg(AFileName, File.errorString()));
    if (Got == 0)
      break;
    const qsizetype Used = Form.size();
    if (Form.capacity() - Used < ChunkWorstCase) {
      // Grows by what is left plus this chunk's worst case; realloc of a large block moves
      // pages rather than copying them.
      Form.reserve(Used + ChunkWorstCase + ExpectedEncodedSize(FileSize - File.pos()));
    }
    Form.resize(Used + ChunkWorstCase);
    char* const End = EncodePiece(Chunk.get(), Got, Form.data() + Used);
    Form.resize(End - Form.constData());
    if (Got < ChunkBytes)
      break;
  }
  return Form;
}

namespace {

// Worst case of one encoded piece: 4 characters of 3 bytes per 3 input bytes, 6 per line break.
constexpr qint64 PieceWorstCase =
    TUploadForm::PieceBytes / 3 * 12 + TUploadForm::PieceBytes / LineBytes * 6 + 16;
static_assert(TUploadForm::PieceBytes % LineBytes == 0, "pieces must hold whole Base64 lines");

// For a 12-bit half of a Base64 group: how many of its two characters are "+" or "/" (62, 63),
// which the URL encoding turns into three bytes.
struct TWideCharTable
{
  unsigned char Count[4096];
  constexpr TWideCharTable() : Count()
  {
    for (unsigned I = 0; I < 4096; ++I)
      Count[I] = ((I >> 6) >= 62 ? 1 : 0) + ((I & 63) >= 62 ? 1 : 0);
  }
};
constexpr TWideCharTable WideChars;

// "+" and "/" among the Base64 characters of ASize bytes; a short last group counts the
// characters it has (the padding is counted separately).
qint64 CountWideChars(const unsigned char* AData, qint64 ASize)
{
  qint64 Count = 0;
  qint64 Pos = 0;
  // Six bytes at a time as eight sextets: a sextet is 62 or 63 when its five upper bits are set.
  // Each found one adds 1 to a 6-bit lane of Lanes, which is emptied before a lane can overflow.
  constexpr quint64 LaneLow = 0x041041041041ULL; // bit 6k of each of the 8 lanes
  while (ASize - Pos >= 8) {
    quint64 Lanes = 0;
    for (int Step = 0; Step < 63 && ASize - Pos >= 8; ++Step, Pos += 6) {
      quint64 Word;
      std::memcpy(&Word, AData + Pos, 8);
      const quint64 X = __builtin_bswap64(Word) >> 16;
      const quint64 Y = X & (X >> 1) & (X >> 2) & (X >> 3) & (X >> 4);
      Lanes += (Y >> 1) & LaneLow;
    }
    for (int Lane = 0; Lane < 8; ++Lane)
      Count += (Lanes >> (6 * Lane)) & 63;
  }
  for (; ASize - Pos >= 3; Pos += 3) {
    const unsigned Group =
        (unsigned(AData[Pos]) << 16) | (unsigned(AData[Pos + 1]) << 8) | AData[Pos + 2];
    Count += WideChars.Count[Group >> 12] + WideChars.Count[Group & 4095];
  }
  // A short last group: its third character holds at most four bits, its second at most two
  // when it is the last, so only the first two can be wide.
  if (ASize - Pos == 1)
    Count += (AData[Pos] >> 2) >= 62 ? 1 : 0;
  else if (ASize - Pos == 2)
    Count += WideChars.Count[((unsigned(AData[Pos]) << 8) | AData[Pos + 1]) >> 4];
  return Count;
}

// Two URL-encoded Base64 characters for each 12-bit value: the bytes (2 to 6) in the low bytes,
// their number in the top byte. Written as one 8-byte store; the next store overwrites the rest.
struct TPairTable
{
  quint64 Entry[4096];
  constexpr TPairTable() : Entry()
  {
    for (unsigned I = 0; I < 4096; ++I) {
      quint64 Value = 0;
      unsigned Length = 0;
      for (const unsigned Sextet : {I >> 6, I & 63}) {
        if (Sextet < 62) {
          Value |= quint64(static_cast<unsigned char>(Alphabet[Sextet])) << (8 * Length++);
        } else {
          Value |= quint64('%') << (8 * Length++);
          Value |= quint64('2') << (8 * Length++);
          Value |= quint64(Sextet == 62 ? 'B' : 'F') << (8 * Length++);
        }
      }
      Entry[I] = Value | quint64(Length) << 56;
    }
  }
};
constexpr TPairTable Pairs;

inline char* PutPair(char* AOut, unsigned AValue)
{
  const quint64 Entry = Pairs.Entry[AValue];
  std::memcpy(AOut, &Entry, 8);
  return AOut + (Entry >> 56);
}

// The same output as EncodePiece, faster: whole lines through the pair table. AOut needs 8 bytes
// of room beyond the encoded form.
char* EncodePieceFast(const unsigned char* AData, qint64 ASize, char* AOut)
{
  static const char Break[8] = {'%', '0', 'D', '%', '0', 'A', 0, 0};
  qint64 Pos = 0;
  for (; ASize - Pos >= LineBytes; Pos += LineBytes) {
    for (const unsigned char* P = AData + Pos; P < AData + Pos + LineBytes; P += 3) {
      const unsigned Group = (unsigned(P[0]) << 16) | (unsigned(P[1]) << 8) | P[2];
      AOut = PutPair(AOut, Group >> 12);
      AOut = PutPair(AOut, Group & 4095);
    }
    std::memcpy(AOut, Break, 8);
    AOut += 6;
  }
  // The last, shorter line of the file.
  return Pos < ASize ? EncodePiece(AData + Pos, ASize - Pos, AOut) : AOut;
}

QString SystemError(int AError)
{
  return QString::fromLocal8Bit(std::strerror(AError));
}

} // namespace

TUploadForm::TUploadForm(const QString& AUser, const QString& APass, const QString& AFileName,
                         int APos)
    : FFileName(AFileName)
{
  const QByteArray Path = QFile::encodeName(AFileName);
  FFile = ::open(Path.constData(), O_RDONLY | O_CLOEXEC);
  int Error = errno;
  if (FFile >= 0 && ::fstat(FFile, &FOpened) != 0)
    Error = errno;
  else if (FFile >= 0 && S_ISDIR(FOpened.st_mode))
    Error = EISDIR;
  else if (FFile >= 0 && !S_ISREG(FOpened.st_mode))
    Error = EINVAL; // a pipe or a device has no length to announce
  else if (FFile >= 0)
    Error = 0;
  if (Error != 0) {
    if (FFile >= 0)
      ::close(FFile);
    FFile = -1;
    throw TStreamError(
        QStringLiteral("Cannot open file \"%1\". %2").arg(AFileName, SystemError(Error)));
  }
  FFileSize = FOpened.st_size;

  FHead.append("user=");
  URLEncodeAppend(FHead, AUser);
  FHead.append("&pass=");
  URLEncodeAppend(FHead, APass);
  FHead.append("&action=vexmo&fn=");
  URLEncodeAppend(FHead, QFileInfo(AFileName).fileName());
  FHead.append("&pos=");
  FHead.append(QByteArray::number(APos));
  FHead.append("&vt=");

  FPiece = std::make_unique<unsigned char[]>(PieceBytes);
  // A file that opens but cannot be read fails now, while nothing has been sent.
  if (!ReadPiece(0, std::min(PieceBytes, FFileSize))) {
    ::close(FFile);
    FFile = -1;
    throw TStreamError(FError);
  }
  FOutPos = FHead.constData();
  FOutEnd = FOutPos + FHead.size();
}

TUploadForm::~TUploadForm()
{
  {
    std::lock_guard Guard(FMutex);
    FStop = true;
  }
  FChanged.notify_all();
  if (FProducer.joinable())
    FProducer.join();
  if (FFile >= 0)
    ::close(FFile);
}

QString TUploadForm::Error() const
{
  std::lock_guard Guard(FMutex);
  return FError;
}

// Either side; the first error is the one reported. Never called with FMutex held.
bool TUploadForm::Fail(const QString& AMessage)
{
  std::lock_guard Guard(FMutex);
  if (FError.isEmpty())
    FError = AMessage;
  return false;
}

// Reads ASize bytes at AOffset into the piece buffer. Fewer bytes than the file had when it was
// opened means it was cut short.
bool TUploadForm::ReadPiece(qint64 AOffset, qint64 ASize)
{
  qint64 Done = 0;
  while (Done < ASize) {
    const ssize_t Got = ::pread(FFile, FPiece.get() + Done, size_t(ASize - Done), AOffset + Done);
    if (Got < 0 && errno == EINTR)
      continue;
    if (Got < 0)
      return Fail(QStringLiteral("Cannot read file \"%1\". %2").arg(FFileName, SystemError(errno)));
    if (Got == 0)
      return Fail(QStringLiteral("The file \"%1\" became shorter while it was being uploaded. "
                                 "The upload was stopped.")
                      .arg(FFileName));
    Done += Got;
  }
  return StillTheSameFile();
}

// The file as opened: same length and modification time, still linked, and still the file
// that its name leads to.
bool TUploadForm::StillTheSameFile()
{
  struct stat Now = {};
  if (::fstat(FFile, &Now) != 0)
    return Fail(QStringLiteral("Cannot read file \"%1\". %2").arg(FFileName, SystemError(errno)));
  struct stat AtName = {};
  const bool Named = ::stat(QFile::encodeName(FFileName).constData(), &AtName) == 0;
  if (Now.st_nlink == 0 || !Named || AtName.st_dev != FOpened.st_dev ||
      AtName.st_ino != FOpened.st_ino)
    return Fail(QStringLiteral("The file \"%1\" was deleted or replaced while it was being "
                               "uploaded. The upload was stopped.")
                    .arg(FFileName));
  if (Now.st_size != FOpened.st_size || Now.st_mtim.tv_sec != FOpened.st_mtim.tv_sec ||
      Now.st_mtim.tv_nsec != FOpened.st_mtim.tv_nsec)
    return Fail(QStringLiteral("The file \"%1\" changed while it was being uploaded. The upload "
                               "was stopped.")
                    .arg(FFileName));
  return true;
}

bool TUploadForm::Prepare(const std::function<bool()>& ACancelled)
{
  if (FSize >= 0)
    return true;
  if (!FError.isEmpty())
    return false;
  qint64 Wide = 0;
  for (qint64 Offset = 0; Offset < FFileSize; Offset += PieceBytes) {
    if (ACancelled && ACancelled())
      return Fail(QStringLiteral("The upload was cancelled."));
    const qint64 Size = std::min(PieceBytes, FFileSize - Offset);
    if (!ReadPiece(Offset, Size))
      return false;
    Wide += CountWideChars(FPiece.get(), Size);
  }
  const qint64 Chars = (FFileSize + 2) / 3 * 4;
  const qint64 Pads = (3 - FFileSize % 3) % 3;
  // "+", "/" and "=" take three bytes each; a line break after every 76 characters takes six.
  FSize = FHead.size() + Chars + 2 * (Wide + Pads) + Chars / 76 * 6;
  return true;
}

// The encoding thread: each piece of the file into a free slot, in order, until the end, an
// error or the form's destruction.
void TUploadForm::Produce()
{
  for (qint64 Offset = 0; Offset < FFileSize; Offset += PieceBytes) {
    int Slot;
    {
      std::unique_lock Guard(FMutex);
      FChanged.wait(Guard, [&] { return FStop || !FFree.empty(); });
      if (FStop)
        break;
      Slot = FFree.back();
      FFree.pop_back();
    }
    const qint64 Size = std::min(PieceBytes, FFileSize - Offset);
    const bool Ok = ReadPiece(Offset, Size);
    const qint64 Length =
        Ok ? EncodePieceFast(FPiece.get(), Size, FSlots[Slot].get()) - FSlots[Slot].get() : 0;
    {
      std::lock_guard Guard(FMutex);
      if (Ok) {
        FSlotSize[Slot] = Length;
        FFilled.push_back(Slot);
      } else {
        FFree.push_back(Slot);
      }
    }
    FChanged.notify_all();
    if (!Ok)
      break;
  }
  {
    std::lock_guard Guard(FMutex);
    FProducerDone = true;
  }
  FChanged.notify_all();
}

// Hands the slot just read back and takes the next encoded piece. False at the end of the file
// or when an error stopped the encoding thread.
bool TUploadForm::NextSlot()
{
  std::unique_lock Guard(FMutex);
  if (FCurrent >= 0) {
    FFree.push_back(FCurrent);
    FCurrent = -1;
    FChanged.notify_all();
  }
  if (!FProducer.joinable()) {
    for (int I = 0; I < SlotCount; ++I) {
      FSlots[I] = std::make_unique<char[]>(PieceWorstCase);
      FFree.push_back(I);
    }
    FProducer = std::thread([this] { Produce(); });
  }
  FChanged.wait(Guard, [&] { return !FFilled.empty() || FProducerDone || !FError.isEmpty(); });
  if (!FError.isEmpty() || FFilled.empty())
    return false;
  FCurrent = FFilled.front();
  FFilled.pop_front();
  FOutPos = FSlots[FCurrent].get();
  FOutEnd = FOutPos + FSlotSize[FCurrent];
  return true;
}

qint64 TUploadForm::Read(char* AOut, qint64 AMax)
{
  {
    std::lock_guard Guard(FMutex);
    if (!FError.isEmpty() || FSize < 0)
      return -1;
  }
  qint64 Written = 0;
  bool Ended = false;
  while (Written < AMax) {
    if (FOutPos == FOutEnd && !NextSlot()) {
      std::lock_guard Guard(FMutex);
      if (!FError.isEmpty())
        return -1;
      Ended = true;
      break;
    }
    const qint64 Take = std::min<qint64>(AMax - Written, FOutEnd - FOutPos);
    std::memcpy(AOut + Written, FOutPos, size_t(Take));
    FOutPos += Take;
    Written += Take;
  }
  FProduced += Written;
  // The content changed without its length or time showing it: the form no longer matches the
  // length announced, which must be reached exactly where the encoded file ends.
  bool Matches = FProduced <= FSize && (!Ended || FProduced == FSize);
  if (Matches && FProduced == FSize && !Ended) {
    if (FOutPos != FOutEnd) {
      Matches = false;
    } else {
      std::unique_lock Guard(FMutex);
      if (FProducer.joinable())
        FChanged.wait(Guard,
                      [&] { return !FFilled.empty() || FProducerDone || !FError.isEmpty(); });
      if (!FError.isEmpty())
        return -1;
      Matches = FFilled.empty() && (FProducer.joinable() || FFileSize == 0);
    }
  }
  if (!Matches) {
    Fail(QStringLiteral("The file \"%1\" changed while it was being uploaded. The upload was "
                        "stopped.")
             .arg(FFileName));
    return -1;
  }
  return Written;
}
