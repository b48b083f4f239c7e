#include "api/upload_form.h"

#include "api/station_address.h"

#include <QFile>
#include <QFileInfo>
#include <memory>

TStreamError::TStreamError(const QString& AMessage)
    : std::runtime_error(AMessage.toStdString()), FMessage(AMessage)
{}

namespace {

// One Base64 line is 57 bytes of input; reading whole lines keeps the line breaks in place.
constexpr qint64 LineBytes = 57;
constexpr qint64 ChunkBytes = LineBytes * 4096;

const char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

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
