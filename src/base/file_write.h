// Writing a file where no new file can be made beside it.
//
// Files are normally replaced through a temporary file in the same folder that is renamed over
// them, so that a failed write leaves the old content. A folder that an administrator made
// read-only for the users, with the files inside left writable, refuses that temporary file;
// there the content can only be written over the file itself.
#pragma once

#include <QByteArray>

// Whether the errno with which creating a file failed means that the folder refuses new files
// (its permissions, or an immutable folder), so that writing in place may still work.
bool FolderRefusesNewFiles(int AErrno);

// Writes all of AData to AFd from its current offset, going on after interruptions. Returns 0 or
// the errno of the failing write.
int WriteWhole(int AFd, const QByteArray& AData);

// Writes AData over the existing file APath (encoded name): from the start, then cut to the new
// length and flushed to the disk. The file keeps its owner and permissions. Returns 0 or the
// errno of the failing step; a missing file is ENOENT, never created.
int WriteFileInPlace(const QByteArray& APath, const QByteArray& AData);
