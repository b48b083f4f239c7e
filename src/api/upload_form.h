// The form that uploads a recorded voice track to the station.
#pragma once

#include "api/http_exchange.h"

#include <QByteArray>
#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <vector>

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
// characters. Holds the whole form (about 1.4 times the file) in memory; the upload itself
// streams the same bytes with TUploadForm. Throws TStreamError when the file cannot be opened or
// read.
QByteArray BuildUploadForm(const QString& AUser, const QString& APass, const QString& AFileName,
                           int APos);

// The same form, produced piece by piece while it is sent, so that a file of any size costs a
// few buffers of memory. Its length must be known before the first byte goes out (it is the
// Content-Length), and the URL-encoded Base64 text grows with the number of "+" and "/" in it, so
// Prepare reads the file once to count them before sending.
//
// While the form is sent, a thread of its own reads and encodes the next few pieces, so that the
// encoding overlaps the sending; Read only hands out what is ready.
//
// The file is watched while it is read: if it shrinks, grows, is written to, deleted or replaced,
// Read fails with a message for the user instead of handing out a form that no longer matches
// its length or its file.
class TUploadForm : public THttpBodySource
{
public:
  // File bytes read and encoded at a time: whole Base64 lines of 57 bytes.
  static constexpr qint64 PieceBytes = 57 * 4096;

  // Opens the file and reads its first piece, so that a file that cannot be opened or read
  // fails here, before anything is sent. Throws TStreamError.
  TUploadForm(const QString& AUser, const QString& APass, const QString& AFileName, int APos);
  ~TUploadForm() override;
  TUploadForm(const TUploadForm&) = delete;
  TUploadForm& operator=(const TUploadForm&) = delete;

  // Reads the whole file once and computes Size(). False, with Error(), when the file fails or
  // changes meanwhile, or when ACancelled (asked between pieces) says to stop. May run on
  // another thread than the constructor, but not at the same time.
  bool Prepare(const std::function<bool()>& ACancelled = {});
  // The form's exact length in bytes; valid after Prepare.
  qint64 Size() const override { return FSize; }
  // The next bytes of the form, at most AMax; 0 at its end; -1 with Error() when the file cannot
  // be read any more or has changed since it was opened.
  qint64 Read(char* AOut, qint64 AMax) override;
  QString Error() const override;

private:
  static constexpr int SlotCount = 3;

  bool Fail(const QString& AMessage);
  bool ReadPiece(qint64 AOffset, qint64 ASize);
  bool StillTheSameFile();
  void Produce();
  bool NextSlot();

  QString FFileName;
  int FFile = -1;
  struct stat FOpened = {};
  qint64 FFileSize = 0;
  QByteArray FHead;
  qint64 FSize = -1;
  qint64 FProduced = 0;
  std::unique_ptr<unsigned char[]> FPiece;
  const char* FOutPos = nullptr;
  const char* FOutEnd = nullptr;

  // Shared with the encoding thread, under FMutex: encoded pieces in order, free slots, the
  // thread's end, and the first error of either side.
  mutable std::mutex FMutex;
  std::condition_variable FChanged;
  std::unique_ptr<char[]> FSlots[SlotCount];
  qint64 FSlotSize[SlotCount] = {};
  std::deque<int> FFilled;
  std::vector<int> FFree;
  int FCurrent = -1;
  bool FProducerDone = false;
  bool FStop = false;
  QString FError;
  std::thread FProducer;
};
