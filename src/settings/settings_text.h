// The settings text form in memory: writing a record as text and applying text to a record.
// settings_file.h puts these on disk.
//
// The text is an "object" block listing the record's properties one per line, with nested
// lists for collections and string lists; files in this form are shared with other programs, so
// the writer is exact to the byte and the reader accepts the whole grammar of the form.
#pragma once

#include <QByteArray>
#include <QString>

class TPersistent;

struct TSettingsError
{
  enum TKind
  {
    None,
    Stream, // the file cannot be opened or read, or its content is not a valid structure
    Parse,  // the text does not follow the grammar; nothing was applied
    Write,  // the file cannot be written
  };

  TKind Kind = None;
  QString Message;

  bool Failed() const { return Kind != None; }
  static TSettingsError Make(TKind AKind, const QString& AMessage) { return {AKind, AMessage}; }
};

// The record as text, CR LF line ends. When the record is a TSettingsRecord with a name, the
// header carries it.
QByteArray WriteSettingsText(TPersistent& ARecord);

// Applies the text to the record. The whole text is parsed first: a syntax error returns a
// Parse error and leaves the record untouched. Then the properties are applied in text order;
// unknown names and values of the wrong kind are skipped without an error.
TSettingsError ReadSettingsText(TPersistent& ARecord, const QByteArray& AText);

// Whether the text follows the grammar (what ReadSettingsText would not refuse).
bool IsSettingsText(const QByteArray& AText);

// The written form of a floating-point value: 16 significant digits, 18 decimals, "." as the
// separator; exponent form when the integer part has more than 16 digits.
QByteArray FormatSettingsFloat(double AValue);
