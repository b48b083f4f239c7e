// Settings files on disk: saving and loading a record in the settings text form
// (settings_text.h), and the ".bak" copy that protects player.ini and system.ini.
#pragma once

#include "settings/settings_text.h"

#include <QString>

class TPersistent;

enum class TFileAccess
{
  KeepPermissions, // a new file gets the usual permissions, an existing one keeps its own
  OwnerOnly,       // readable and writable by the owner alone (the file holds a password)
};

// Writes the record to the file. The text goes to a temporary file in the same folder that is
// then renamed over the target, so a failed save leaves the previous file as it was and a
// crash never leaves an empty or half-written one. Where the folder refuses new files but the
// file itself is writable, the text is written over the file in place. Returns a Write error
// on failure.
TSettingsError SaveSettingsFile(TPersistent& ARecord, const QString& AFileName,
                                TFileAccess AAccess = TFileAccess::KeepPermissions);

// Applies the file to the record. A Stream error when the file cannot be opened or read, a
// Parse error (record untouched) when the text does not follow the grammar. Unknown properties
// and values of the wrong kind are skipped silently.
TSettingsError LoadSettingsFile(TPersistent& ARecord, const QString& AFileName);

// After a successful save: copies the file to AFileName + ".bak", replacing the old copy in one
// step. A failed copy is shown with MyMessageBox ("Copy failed: %s (%s)", no caption); the save
// still counts as done.
void BackupSettingsFile(const QString& AFileName);

// Before a read: a file that cannot be opened or is empty is replaced by its ".bak" copy, when
// there is one. A failed copy caused by a missing or unusable path is ignored; any other failure
// is returned when ARaise is true, else shown with MyMessageBox ("Unable to load file ...").
// A file that is not empty is never replaced here, even when it does not parse.
TSettingsError RestoreSettingsFile(const QString& AFileName, bool ARaise);

// The name of the backup copy of a settings file.
QString BackupFileName(const QString& AFileName);

// Reading a file that keeps a backup (player.ini, system.ini): restore a missing or empty file
// from the backup, then load it. A file that exists but cannot be read or parsed is left
// untouched and the backup is loaded instead, so that the next save does not replace a good
// backup with constructor values. Nothing is shown to the user.
void ReadBackedUpSettingsFile(TPersistent& ARecord, const QString& AFileName);

// Saving a file that keeps a backup: save, then copy to the backup. Before the file is written
// in place (see SaveSettingsFile), its good content is copied to the backup first; when that
// cannot be done, the file is not touched and the save fails. A failed save is shown as
// "Error saving file (<AShortName>): <reason>." and leaves both the file and the backup as they
// were; returns whether the save succeeded.
bool SaveBackedUpSettingsFile(TPersistent& ARecord, const QString& AFileName,
                              const QString& AShortName);
