#include "base/ini_file.h"

#include "base/file_write.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

enum class TEncoding
{
  Utf8,
  Utf8Bom,
  Utf16Le,
  Utf16Be
};

// Identifies one state of a file on disk: every write (ours replaces the file, others change its
// times or size) gives a different one.
struct TFileStamp
{
  bool Exists = false;
  dev_t Device = 0;
  ino_t Inode = 0;
  off_t Size = 0;
  timespec Modified{};
  timespec Changed{};

  bool operator==(const TFileStamp& AOther) const
  {
    if (Exists != AOther.Exists)
      return false;
    if (!Exists)
      return true;
    return Device == AOther.Device && Inode == AOther.Inode && Size == AOther.Size &&
           Modified.tv_sec == AOther.Modified.tv_sec &&
           Modified.tv_nsec == AOther.Modified.tv_nsec && Changed.tv_sec == AOther.Changed.tv_sec &&
           Changed.tv_nsec == AOther.Changed.tv_nsec;
  }
};

TFileStamp StampOf(const QString& AFileName)
{
  TFileStamp Stamp;
  struct stat Info;
  if (::stat(QFile::encodeName(AFileName).constData(), &Info) == 0 && S_ISREG(Info.st_mode)) {
    Stamp.Exists = true;
    Stamp.Device = Info.st_dev;
    Stamp.Inode = Info.st_ino;
    Stamp.Size = Info.st_size;
    Stamp.Modified = Info.st_mtim;
    Stamp.Changed = Info.st_ctim;
  }
  return Stamp;
}

bool IsBlank(QChar AChar)
{
  return AChar == QLatin1Char(' ') || AChar == QLatin1Char('\t');
}

bool HasLineBreak(const QString& AText)
{
  return AText.contains(QLatin1Char('\n')) || AText.contains(QLatin1Char('\r'));
}

} // namespace

struct TIniFile::TDocument
{
  struct TLine
  {
    QString Text;
    // The line's bytes as they were read (8-bit files only), written back unchanged so that
    // lines we do not touch stay byte for byte what they were.
    QByteArray Raw;
    bool HasRaw = false;
  };
  struct TKey
  {
    QString Name;
    QString Value;
    int Line = 0;
  };
  struct TSection
  {
    QString Name;
    int Header = 0;
    int LastKeyLine = -1;
    QList<TKey> Keys;
  };

  TFileStamp Stamp;
  // Wall-clock time of the read, to tell whether the stamp can be trusted (see Document()).
  timespec LoadedAt{};
  TEncoding Encoding = TEncoding::Utf8;
  bool CrLf = false;
  bool FinalLineBreak = true;
  QList<TLine> Lines;
  QList<TSection> Sections;

  void Load(const QString& AFileName);
  void Parse();
  QByteArray Serialize() const;

  // The first key of that name in any section of that name, in file order.
  const TKey* FindKey(const QString& ASection, const QString& AKey) const;
  bool HasSection(const QString& ASection) const;
  void SetLine(int AIndex, const QString& AText);
  void InsertLine(int AIndex, const QString& AText);
};

void TIniFile::TDocument::Load(const QString& AFileName)
{
  Stamp = StampOf(AFileName);
  clock_gettime(CLOCK_REALTIME, &LoadedAt);
  Lines.clear();
  Sections.clear();
  Encoding = TEncoding::Utf8;
  CrLf = false;
  FinalLineBreak = true;
  if (!Stamp.Exists)
    return;
  QFile File(AFileName);
  if (!File.open(QIODevice::ReadOnly))
    return;
  QByteArray Bytes = File.readAll();
  // The stamp must describe what was read, not what was there before the open.
  Stamp = StampOf(AFileName);

  if (Bytes.startsWith("\xEF\xBB\xBF")) {
    Encoding = TEncoding::Utf8Bom;
    Bytes.remove(0, 3);
  } else if (Bytes.startsWith("\xFF\xFE")) {
    Encoding = TEncoding::Utf16Le;
  } else if (Bytes.startsWith("\xFE\xFF")) {
    Encoding = TEncoding::Utf16Be;
  }

  if (Encoding == TEncoding::Utf16Le || Encoding == TEncoding::Utf16Be) {
    QStringDecoder Decoder(Encoding == TEncoding::Utf16Le ? QStringDecoder::Utf16LE
                                                          : QStringDecoder::Utf16BE,
                           QStringDecoder::Flag::Stateless);
    QString Text = Decoder.decode(Bytes.mid(2));
    CrLf = Text.contains(QLatin1String("\r\n"));
    FinalLineBreak = Text.isEmpty() || Text.endsWith(QLatin1Char('\n'));
    if (Text.endsWith(QLatin1Char('\n')))
      Text.chop(1);
    if (!Text.isEmpty() || !FinalLineBreak) {
      for (QString& Line : Text.split(QLatin1Char('\n'))) {
        if (Line.endsWith(QLatin1Char('\r')))
          Line.chop(1);
        Lines.append({Line, {}, false});
      }
    }
  } else {
    const qsizetype FirstBreak = Bytes.indexOf('\n');
    CrLf = FirstBreak > 0 && Bytes[FirstBreak - 1] == '\r';
    FinalLineBreak = Bytes.isEmpty() || Bytes.endsWith('\n');
    if (Bytes.endsWith('\n'))
      Bytes.chop(1);
    if (!Bytes.isEmpty() || !FinalLineBreak) {
      for (QByteArray& Raw : Bytes.split('\n')) {
        if (Raw.endsWith('\r'))
          Raw.chop(1);
        QStringDecoder Decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString Text = Decoder.decode(Raw);
        // A line that is not UTF-8 comes from an 8-bit editor; Latin-1 shows it best.
        if (Decoder.hasError())
          Text = QString::fromLatin1(Raw);
        Lines.append({Text, Raw, true});
      }
    }
  }
  Parse();
}

void TIniFile::TDocument::Parse()
{
  Sections.clear();
  for (int Index = 0; Index < Lines.size(); ++Index) {
    const QString Line = Lines[Index].Text.trimmed();
    if (Line.isEmpty() || Line.startsWith(QLatin1Char(';')))
      continue;
    if (Line.startsWith(QLatin1Char('['))) {
      const qsizetype Close = Line.lastIndexOf(QLatin1Char(']'));
      if (Close > 0) {
        Sections.append({Line.mid(1, Close - 1).trimmed(), Index, -1, {}});
        continue;
      }
    }
    if (Sections.isEmpty())
      continue;
    const qsizetype Equals = Line.indexOf(QLatin1Char('='));
    if (Equals < 0)
      continue;
    TSection& Section = Sections.last();
    Section.Keys.append({Line.left(Equals).trimmed(), Line.mid(Equals + 1).trimmed(), Index});
    Section.LastKeyLine = Index;
  }
}

QByteArray TIniFile::TDocument::Serialize() const
{
  const QString LineBreak = CrLf ? QStringLiteral("\r\n") : QStringLiteral("\n");
  if (Encoding == TEncoding::Utf16Le || Encoding == TEncoding::Utf16Be) {
    QString Text;
    for (int Index = 0; Index < Lines.size(); ++Index) {
      Text += Lines[Index].Text;
      if (Index + 1 < Lines.size() || FinalLineBreak)
        Text += LineBreak;
    }
    QStringEncoder Encoder(Encoding == TEncoding::Utf16Le ? QStringEncoder::Utf16LE
                                                          : QStringEncoder::Utf16BE,
                           QStringEncoder::Flag::WriteBom);
    return Encoder.encode(Text);
  }
  QByteArray Bytes;
  if (Encoding == TEncoding::Utf8Bom)
    Bytes = "\xEF\xBB\xBF";
  const QByteArray Break = LineBreak.toLatin1();
  for (int Index = 0; Index < Lines.size(); ++Index) {
    const TLine& Line = Lines[Index];
    Bytes += Line.HasRaw ? Line.Raw : Line.Text.toUtf8();
    if (Index + 1 < Lines.size() || FinalLineBreak)
      Bytes += Break;
  }
  return Bytes;
}

const TIniFile::TDocument::TKey* TIniFile::TDocument::FindKey(const QString& ASection,
                                                              const QString& AKey) const
{
  for (const TSection& Section : Sections) {
    if (Section.Name.compare(ASection, Qt::CaseInsensitive) != 0)
      continue;
    for (const TKey& Key : Section.Keys) {
      if (Key.Name.compare(AKey, Qt::CaseInsensitive) == 0)
        return &Key;
    }
  }
  return nullptr;
}

bool TIniFile::TDocument::HasSection(const QString& ASection) const
{
  for (const TSection& Section : Sections) {
    if (Section.Name.compare(ASection, Qt::CaseInsensitive) == 0)
      return true;
  }
  return false;
}

void TIniFile::TDocument::SetLine(int AIndex, const QString& AText)
{
  Lines[AIndex] = {AText, {}, false};
}

void TIniFile::TDocument::InsertLine(int AIndex, const QString& AText)
{
  Lines.insert(AIndex, {AText, {}, false});
}

namespace {

bool ValidSection(const QString& ASection)
{
  return !HasLineBreak(ASection);
}

bool ValidKey(const QString& AKey)
{
  return !AKey.isEmpty() && !HasLineBreak(AKey) && !AKey.contains(QLatin1Char('=')) &&
         !AKey.startsWith(QLatin1Char('[')) && !AKey.startsWith(QLatin1Char(';'));
}

// Decimal, or hexadecimal after "0x", "0X" or "$" (up to 32 bits, taken as a bit pattern like
// the classic converters do), with an optional sign.
bool ParseInteger(const QString& AText, int& AValue)
{
  QStringView Text(AText);
  bool Negative = false;
  if (Text.startsWith(QLatin1Char('-')) || Text.startsWith(QLatin1Char('+'))) {
    Negative = Text[0] == QLatin1Char('-');
    Text = Text.mid(1);
  }
  int Base = 10;
  if (Text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
    Base = 16;
    Text = Text.mid(2);
  } else if (Text.startsWith(QLatin1Char('$'))) {
    Base = 16;
    Text = Text.mid(1);
  }
  if (Text.isEmpty())
    return false;
  quint64 Magnitude = 0;
  for (QChar Char : Text) {
    int Digit;
    const char16_t Code = Char.unicode();
    if (Code >= '0' && Code <= '9')
      Digit = Code - '0';
    else if (Base == 16 && Code >= 'a' && Code <= 'f')
      Digit = Code - 'a' + 10;
    else if (Base == 16 && Code >= 'A' && Code <= 'F')
      Digit = Code - 'A' + 10;
    else
      return false;
    Magnitude = Magnitude * Base + Digit;
    if (Magnitude > 0xFFFFFFFFull)
      return false;
  }
  qint64 Value;
  if (Base == 16)
    Value = qint32(quint32(Magnitude));
  else if (Magnitude > quint64(Negative ? 2147483648ll : 2147483647ll))
    return false;
  else
    Value = qint64(Magnitude);
  AValue = int(Negative ? -Value : Value);
  return true;
}

} // namespace

TIniFile::TIniFile(const QString& AFileName) : FFileName(AFileName) {}

TIniFile::~TIniFile() = default;

const TIniFile::TDocument& TIniFile::Document() const
{
  // File times only move on with the kernel's clock tick, so a file changed again within that
  // tick, in place and to the same size, keeps its stamp. A file read less than two seconds after
  // its last change is therefore read again next time instead of trusting the stamp.
  const bool Settled = FCache && FCache->Stamp.Exists &&
                       FCache->LoadedAt.tv_sec - FCache->Stamp.Modified.tv_sec >= 2;
  const bool Missing = FCache && !FCache->Stamp.Exists;
  if (!(Settled || Missing) || !(FCache->Stamp == StampOf(FFileName))) {
    auto Fresh = std::make_unique<TDocument>();
    Fresh->Load(FFileName);
    FCache = std::move(Fresh);
  }
  return *FCache;
}

QString TIniFile::ReadString(const QString& ASection, const QString& AKey,
                             const QString& ADefault) const
{
  const TDocument::TKey* Key = Document().FindKey(ASection.trimmed(), AKey.trimmed());
  return Key ? Key->Value : ADefault;
}

int TIniFile::ReadInteger(const QString& ASection, const QString& AKey, int ADefault) const
{
  const TDocument::TKey* Key = Document().FindKey(ASection.trimmed(), AKey.trimmed());
  int Value;
  if (Key && ParseInteger(Key->Value, Value))
    return Value;
  return ADefault;
}

bool TIniFile::ReadBool(const QString& ASection, const QString& AKey, bool ADefault) const
{
  return ReadInteger(ASection, AKey, ADefault ? 1 : 0) != 0;
}

QStringList TIniFile::ReadSection(const QString& ASection) const
{
  const QString Wanted = ASection.trimmed();
  QStringList Keys;
  for (const TDocument::TSection& Section : Document().Sections) {
    if (Section.Name.compare(Wanted, Qt::CaseInsensitive) != 0)
      continue;
    for (const TDocument::TKey& Key : Section.Keys) {
      if (!Key.Name.isEmpty() && !Keys.contains(Key.Name, Qt::CaseInsensitive))
        Keys.append(Key.Name);
    }
  }
  return Keys;
}

QStringList TIniFile::ReadSections() const
{
  QStringList Names;
  for (const TDocument::TSection& Section : Document().Sections) {
    if (!Names.contains(Section.Name, Qt::CaseInsensitive))
      Names.append(Section.Name);
  }
  return Names;
}

bool TIniFile::SectionExists(const QString& ASection) const
{
  return Document().HasSection(ASection.trimmed());
}

bool TIniFile::ValueExists(const QString& ASection, const QString& AKey) const
{
  return Document().FindKey(ASection.trimmed(), AKey.trimmed()) != nullptr;
}

bool TIniFile::WriteString(const QString& ASection, const QString& AKey, const QString& AValue)
{
  const QString SectionName = ASection.trimmed();
  const QString KeyName = AKey.trimmed();
  FLastError.clear();
  if (!ValidSection(SectionName) || !ValidKey(KeyName) || HasLineBreak(AValue)) {
    FLastError = QString::fromLocal8Bit(strerror(EINVAL));
    return false;
  }

  // Always start from what is on disk now, not from the cache.
  TDocument Doc;
  Doc.Load(FFileName);
  if (const TDocument::TKey* Key = Doc.FindKey(SectionName, KeyName)) {
    // Keep the key's spelling and the blanks around "=" as the file had them.
    const QString Old = Doc.Lines[Key->Line].Text;
    qsizetype Start = Old.indexOf(QLatin1Char('=')) + 1;
    while (Start < Old.size() && IsBlank(Old[Start]))
      ++Start;
    Doc.SetLine(Key->Line, Old.left(Start) + AValue);
  } else {
    const QString NewLine = KeyName + QLatin1Char('=') + AValue;
    const TDocument::TSection* Target = nullptr;
    for (const TDocument::TSection& Section : Doc.Sections) {
      if (Section.Name.compare(SectionName, Qt::CaseInsensitive) == 0) {
        Target = &Section;
        break;
      }
    }
    if (Target) {
      const int After = Target->LastKeyLine >= 0 ? Target->LastKeyLine : Target->Header;
      Doc.InsertLine(After + 1, NewLine);
    } else {
      Doc.Lines.append({QLatin1Char('[') + SectionName + QLatin1Char(']'), {}, false});
      Doc.Lines.append({NewLine, {}, false});
      Doc.FinalLineBreak = true;
    }
  }
  return Save(Doc);
}

bool TIniFile::WriteInteger(const QString& ASection, const QString& AKey, int AValue)
{
  return WriteString(ASection, AKey, QString::number(AValue));
}

bool TIniFile::WriteBool(const QString& ASection, const QString& AKey, bool AValue)
{
  return WriteString(ASection, AKey, AValue ? QStringLiteral("1") : QStringLiteral("0"));
}

bool TIniFile::DeleteKey(const QString& ASection, const QString& AKey)
{
  FLastError.clear();
  const QString SectionName = ASection.trimmed();
  const QString KeyName = AKey.trimmed();
  TDocument Doc;
  Doc.Load(FFileName);
  QList<int> Remove;
  for (const TDocument::TSection& Section : Doc.Sections) {
    if (Section.Name.compare(SectionName, Qt::CaseInsensitive) != 0)
      continue;
    for (const TDocument::TKey& Key : Section.Keys) {
      if (Key.Name.compare(KeyName, Qt::CaseInsensitive) == 0)
        Remove.append(Key.Line);
    }
  }
  if (Remove.isEmpty())
    return true;
  std::sort(Remove.begin(), Remove.end());
  for (qsizetype Index = Remove.size() - 1; Index >= 0; --Index)
    Doc.Lines.removeAt(Remove[Index]);
  return Save(Doc);
}

bool TIniFile::EraseSection(const QString& ASection)
{
  FLastError.clear();
  const QString SectionName = ASection.trimmed();
  TDocument Doc;
  Doc.Load(FFileName);
  // A section's lines run from its header to the next header (or the end of the file).
  QList<std::pair<int, int>> Ranges;
  for (qsizetype Index = 0; Index < Doc.Sections.size(); ++Index) {
    const TDocument::TSection& Section = Doc.Sections[Index];
    if (Section.Name.compare(SectionName, Qt::CaseInsensitive) != 0)
      continue;
    const int End =
        Index + 1 < Doc.Sections.size() ? Doc.Sections[Index + 1].Header : int(Doc.Lines.size());
    Ranges.append({Section.Header, End});
  }
  if (Ranges.isEmpty())
    return true;
  for (qsizetype Index = Ranges.size() - 1; Index >= 0; --Index)
    Doc.Lines.remove(Ranges[Index].first, Ranges[Index].second - Ranges[Index].first);
  return Save(Doc);
}

bool TIniFile::Save(TDocument& ADoc)
{
  FCache.reset();
  // QFile reports a write that the system cut short (disk full, file size limit) as a success,
  // so the file is written with the system calls and every result is checked.
  QString Target = FFileName;
  const QFileInfo TargetInfo(FFileName);
  if (TargetInfo.isSymLink()) {
    // Replace the file the link points to, not the link.
    const QString Resolved = TargetInfo.canonicalFilePath();
    if (!Resolved.isEmpty())
      Target = Resolved;
  }
  const QFileInfo Info(Target);
  const QByteArray TargetName = QFile::encodeName(Info.absoluteFilePath());
  struct stat Existing;
  const bool Exists = ::stat(TargetName.constData(), &Existing) == 0;

  QByteArray TempName;
  int Fd = -1;
  for (int Attempt = 0; Attempt < 100 && Fd < 0; ++Attempt) {
    TempName =
        QFile::encodeName(Info.absolutePath() + QStringLiteral("/.") + Info.fileName() +
                          QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate(), 8,
                                                        16, QLatin1Char('0')));
    // 0666 less the umask, as for any new file; an existing file's mode is copied below.
    Fd = ::open(TempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (Fd < 0 && errno != EEXIST)
      break;
  }
  if (Fd < 0) {
    const int CreateError = errno;
    // A folder that refuses new files may still hold a writable file: write it in place.
    if (Exists && FolderRefusesNewFiles(CreateError) &&
        ::access(TargetName.constData(), W_OK) == 0) {
      const int Error = WriteFileInPlace(TargetName, ADoc.Serialize());
      if (Error == 0)
        return true;
      FLastError = QString::fromLocal8Bit(strerror(Error));
      return false;
    }
    FLastError = QString::fromLocal8Bit(strerror(CreateError));
    return false;
  }
  auto Fail = [&](int AError) {
    FLastError = QString::fromLocal8Bit(strerror(AError));
    if (Fd >= 0)
      ::close(Fd);
    ::unlink(TempName.constData());
    return false;
  };
  if (Exists) {
    // Best effort: only root may hand a file to another owner.
    const bool Owned = ::fchown(Fd, Existing.st_uid, Existing.st_gid) == 0;
    Q_UNUSED(Owned);
    ::fchmod(Fd, Existing.st_mode & 07777);
  }
  const QByteArray Bytes = ADoc.Serialize();
  if (const int Error = WriteWhole(Fd, Bytes); Error != 0)
    return Fail(Error);
  // The rename must not be able to land before the data does.
  if (::fsync(Fd) != 0)
    return Fail(errno);
  const int Closed = ::close(Fd);
  Fd = -1;
  if (Closed != 0)
    return Fail(errno);
  if (::rename(TempName.constData(), TargetName.constData()) != 0)
    return Fail(errno);
  return true;
}
