// Addresses of the station's remote-control interface and the URL encoding of what is sent.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Appends the URL-encoded form of the text to AOut: letters, digits and ! $ ' ( ) * - . @ _ stay,
// a blank becomes "+", every other character becomes "%XX" of each of its UTF-8 bytes
// (upper-case hex). A surrogate pair is one code point; a lone surrogate is sent as U+FFFD.
void URLEncodeAppend(QByteArray& AOut, QStringView AText);
QByteArray URLEncode(QStringView AText);

// "http://host:port" or "https://host:port" from the connection settings (the host exactly as
// stored), followed by "/?user=...&pass=..." when AWithAuth. Reads the global Settings; callers
// that build a whole address hold its lock so that the values belong together.
QString GetBaseURL(bool AWithAuth);
