#include "http_fetch.h"

#include <QXmlStreamReader>

#include <curl/curl.h>

namespace {

size_t Collect(char* AData, size_t ASize, size_t ACount, void* ATarget)
{
  static_cast<QByteArray*>(ATarget)->append(AData, qsizetype(ASize * ACount));
  return ASize * ACount;
}

} // namespace

THttpReply Fetch(const THttpRequest& ARequest)
{
  THttpReply Reply;
  CURL* Curl = curl_easy_init();
  char ErrorBuffer[CURL_ERROR_SIZE] = {};
  const QByteArray Url = ARequest.Url.toUtf8();
  const QByteArray CaFile = ARequest.CaFile.toLocal8Bit();
  curl_slist* Headers = nullptr;
  curl_mime* Mime = nullptr;
  curl_easy_setopt(Curl, CURLOPT_URL, Url.constData());
  curl_easy_setopt(Curl, CURLOPT_ERRORBUFFER, ErrorBuffer);
  curl_easy_setopt(Curl, CURLOPT_TIMEOUT_MS, ARequest.TimeoutMs);
  curl_easy_setopt(Curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(Curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(Curl, CURLOPT_WRITEDATA, &Reply.Body);
  if (!CaFile.isEmpty())
    curl_easy_setopt(Curl, CURLOPT_CAINFO, CaFile.constData());
  const QByteArray ContentTypeHeader = "Content-Type: " + ARequest.ContentType;
  if (!ARequest.Multipart.isEmpty()) {
    Mime = curl_mime_init(Curl);
    for (const auto& [Name, Value] : ARequest.Multipart) {
      curl_mimepart* Part = curl_mime_addpart(Mime);
      curl_mime_name(Part, Name.constData());
      curl_mime_data(Part, Value.constData(), size_t(Value.size()));
    }
    curl_easy_setopt(Curl, CURLOPT_MIMEPOST, Mime);
  } else if (ARequest.Post) {
    Headers = curl_slist_append(Headers, ContentTypeHeader.constData());
    Headers = curl_slist_append(Headers, "Expect:");
    curl_easy_setopt(Curl, CURLOPT_HTTPHEADER, Headers);
    curl_easy_setopt(Curl, CURLOPT_POSTFIELDS, ARequest.Body.constData());
    curl_easy_setopt(Curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(ARequest.Body.size()));
  }
  const CURLcode Code = curl_easy_perform(Curl);
  if (Code == CURLE_OK) {
    curl_easy_getinfo(Curl, CURLINFO_RESPONSE_CODE, &Reply.Status);
    char* Type = nullptr;
    curl_easy_getinfo(Curl, CURLINFO_CONTENT_TYPE, &Type);
    Reply.ContentType = Type ? QByteArray(Type) : QByteArray();
  } else {
    Reply.Error = QString::fromUtf8(*ErrorBuffer ? ErrorBuffer : curl_easy_strerror(Code));
  }
  curl_slist_free_all(Headers);
  curl_mime_free(Mime);
  curl_easy_cleanup(Curl);
  return Reply;
}

THttpReply Get(const QString& AUrl)
{
  THttpRequest Request;
  Request.Url = AUrl;
  return Fetch(Request);
}

QByteArray ClientUrlEncode(const QString& AText)
{
  static const QByteArray CKept = "!$'()*-.@_";
  QByteArray Result;
  for (const char C : AText.toUtf8()) {
    const uchar U = uchar(C);
    if ((U >= 'A' && U <= 'Z') || (U >= 'a' && U <= 'z') || (U >= '0' && U <= '9') ||
        CKept.contains(C))
      Result.append(C);
    else if (C == ' ')
      Result.append('+');
    else
      Result.append('%').append(QByteArray::number(U, 16).toUpper().rightJustified(2, '0'));
  }
  return Result;
}

QByteArray ClientBase64(const QByteArray& AData)
{
  const QByteArray Plain = AData.toBase64();
  QByteArray Result;
  for (qsizetype I = 0; I < Plain.size(); I += 76) {
    const QByteArray Line = Plain.mid(I, 76);
    Result.append(Line);
    if (Line.size() == 76)
      Result.append("\r\n");
  }
  return Result;
}

QByteArray ClientUploadForm(const QString& AUser, const QString& APass, const QString& AFileName,
                            int APosition, const QByteArray& AData)
{
  return "user=" + ClientUrlEncode(AUser) + "&pass=" + ClientUrlEncode(APass) +
         "&action=vexmo&fn=" + ClientUrlEncode(AFileName) +
         "&pos=" + QByteArray::number(APosition) +
         "&vt=" + ClientUrlEncode(QString::fromLatin1(ClientBase64(AData)));
}

QList<QMap<QString, QString>> XmlElements(const QByteArray& AXml, const QString& AElement)
{
  QList<QMap<QString, QString>> Result;
  QXmlStreamReader Reader(AXml);
  while (!Reader.atEnd()) {
    if (Reader.readNext() == QXmlStreamReader::StartElement &&
        Reader.name().compare(AElement, Qt::CaseInsensitive) == 0) {
      QMap<QString, QString> Attributes;
      for (const QXmlStreamAttribute& Attribute : Reader.attributes())
        Attributes.insert(Attribute.name().toString(), Attribute.value().toString());
      Result.append(Attributes);
    }
  }
  if (Reader.hasError())
    Result.append({{QStringLiteral("#error"), Reader.errorString()}});
  return Result;
}
