// Reading and writing INI files (uid.ini, setup.ini, windowpos.ini, lang.ini, presets).
//
// Semantics follow the classic desktop INI API that these files were made with:
// - "[name]" opens a section; "key=value" lines belong to the section above them; lines starting
//   with ";" are comments; lines before the first section belong to none.
// - Section and key names are compared without regard to letter case; the empty section name
//   ("[]") is a section like any other.
// - Names and values are trimmed of surrounding blanks on reading; the value is everything after
//   the first "=".
// - When a section or key occurs twice, the first occurrence counts for reading.
// - Every write goes to disk at once as read-modify-write and keeps the rest of the file
//   (comments, order, other sections, line ends, encoding). The new text is written to a
//   temporary file in the same folder and renamed over the target, so a failed write leaves the
//   old file as it was. Where the folder refuses new files but the file is writable, it is
//   written in place instead. Folders are never created.
// - Files are UTF-8 (a byte-order mark is accepted); UTF-16LE with a byte-order mark is read too
//   and written back in the same encoding.
//
// Reads re-parse only when the file changed on disk. One instance must not be used by two threads
// at once; separate instances on the same file are fine.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class TIniFile
{
public:
  explicit TIniFile(const QString& AFileName);
  ~TIniFile();
  TIniFile(const TIniFile&) = delete;
  TIniFile& operator=(const TIniFile&) = delete;

  QString FileName() const { return FFileName; }
  // The system's description of why the last write failed; empty after a successful one.
  QString LastError() const { return FLastError; }

  // A missing file, section or key gives the default.
  QString ReadString(const QString& ASection, const QString& AKey,
                     const QString& ADefault = {}) const;
  // Decimal, or hexadecimal with "0x" (or "$"), optionally signed; anything else the default.
  int ReadInteger(const QString& ASection, const QString& AKey, int ADefault) const;
  // An integer: nonzero is true; anything that is not an integer gives the default.
  bool ReadBool(const QString& ASection, const QString& AKey, bool ADefault) const;

  // Writes create the file (not its folder) when it does not exist. They return false when the
  // file cannot be written, or when a name or value would break the file's structure (a line
  // break anywhere, "=" or a leading "[" or ";" in a key, "]" in a section name); the file is
  // then left as it was.
  bool WriteString(const QString& ASection, const QString& AKey, const QString& AValue);
  bool WriteInteger(const QString& ASection, const QString& AKey, int AValue);
  // Writes 1 or 0.
  bool WriteBool(const QString& ASection, const QString& AKey, bool AValue);
  // Removes every occurrence of the key in the section; true when nothing had to be removed.
  bool DeleteKey(const QString& ASection, const QString& AKey);
  // Removes every section of that name with its lines; true when there was none.
  bool EraseSection(const QString& ASection);

  // Key names of the section in file order (each once, first spelling).
  QStringList ReadSection(const QString& ASection) const;
  // Section names in file order (each once, first spelling).
  QStringList ReadSections() const;
  bool SectionExists(const QString& ASection) const;
  bool ValueExists(const QString& ASection, const QString& AKey) const;

  struct TDocument;

private:
  const TDocument& Document() const;
  bool Save(TDocument& ADoc);

  QString FFileName;
  QString FLastError;
  mutable std::unique_ptr<TDocument> FCache;
};
