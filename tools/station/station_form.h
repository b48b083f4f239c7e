// Decoding of what the remote client sends: URL-encoded queries and forms, and the Base64 data
// of an uploaded voice track.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

using TFormFields = QList<QPair<QString, QString>>;

// "%XX" becomes its byte and "+" a space; a "%" not followed by two hex digits stays as it is.
QByteArray PercentDecode(QByteArrayView AText);

// Splits "a=1&b=2" into decoded name/value pairs (UTF-8), in order; a pair without "=" has an
// empty value, empty pieces are skipped.
TFormFields ParseUrlEncoded(QByteArrayView AText);

// The value of the first field named AName (exact match), or a null string.
QString FormValue(const TFormFields& AFields, const QString& AName);

// Decodes standard Base64 that may be broken into lines (CR, LF). False on any other character
// or a malformed end.
bool DecodeBase64Lines(const QByteArray& AText, QByteArray& AData);
