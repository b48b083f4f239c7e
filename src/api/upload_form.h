// The form that uploads a recorded voice track to the station.
#pragma once

#include <QByteArray>
#include <QString>
#include <stdexcept>

// A file of the user's that cannot be opened or read. The message is meant for the user.
class TStreamError : public std::runtime_error
{
public:
  explicit TStreamError(const QString& AMessage);
  QString Message() const { return FMessage; }

private:
  QString FMessage;
};

// Builds the whole form "user=..&pass=..&action=vexmo&fn=..&pos=..&vt=.." as the bytes that are
// sent: every value URL-encoded, vt the file's content in Base64 with a CR LF after every 76
// characters. The file is read in pieces and encoded straight into the result, so that the
// upload costs the form's size and not a multiple of the file. Throws TStreamError when the file
// cannot be opened or read.
QByteArray BuildUploadForm(const QString& AUser, const QString& APass, const QString& AFileName,
                           int APos);
