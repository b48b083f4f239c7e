// A small libcurl client for the station tests: one exchange per call, like the real client.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

struct THttpReply
{
  long Status = 0;
  QByteArray Body;
  QByteArray ContentType;
  QString Error; // libcurl's error text; empty when a reply arrived
};

struct THttpRequest
{
  QString Url;
  bool Post = false;
  QByteArray Body;
  QByteArray ContentType = "application/x-www-form-urlencoded";
  // Multipart form fields instead of Body (name, value).
  QList<QPair<QByteArray, QByteArray>> Multipart;
  QString CaFile;
  long TimeoutMs = 15000;
};

THttpReply Fetch(const THttpRequest& ARequest);
THttpReply Get(const QString& AUrl);

// The client's URL encoding: A-Z a-z 0-9 ! $ ' ( ) * - . @ _ stay, a space becomes "+", the
// rest "%XX" of its UTF-8 bytes.
QByteArray ClientUrlEncode(const QString& AText);
// Base64 broken into lines of 76 characters, each followed by CR LF.
QByteArray ClientBase64(const QByteArray& AData);
// The upload form exactly as the client builds it.
QByteArray ClientUploadForm(const QString& AUser, const QString& APass, const QString& AFileName,
                            int APosition, const QByteArray& AData);

// Attributes of every element named AElement (case-insensitive) in document order.
QList<QMap<QString, QString>> XmlElements(const QByteArray& AXml, const QString& AElement);
