// Texts from the chosen language file: the numbered message table and the captions of windows.
//
// The language file is lang.ini in the language's folder under Lang/ of the program folder. It
// is read with the INI rules of TIniFile (case-insensitive names, the value is everything after
// the first "=", trimmed; UTF-8 without a byte-order mark). Sections:
// - [Strings]: s0 .. s79, the message table;
// - [TranslationStrings]: designed caption = translation, for every translated window;
// - one section per window ("MicDSP.Captions", ...): component name = caption, "@" = the
//   window's title.
// A missing folder, file, section or key leaves the built-in text; nothing is reported.
//
// Everything here runs on the user-interface thread. Applying the captions to widgets is
// TranslateForm (ui_common/translate_form.h); this part only reads and interprets the file.
#pragma once

#include <QHash>
#include <QList>
#include <QString>

// Number of entries of the message table.
constexpr int MessageCount = 80;
// "Are you sure?": the confirmation text handed to the plug-in layer.
constexpr int MsgAreYouSure = 31;

// The language folder's name (the system setting LangDir, resolved). Start-up sets it once the
// system settings are read; until then it is "En".
void SetLanguageDir(const QString& ALangDir);
QString LanguageDir();
// ProgramFolder() + "Lang/" + the folder LanguageDir() names + "/lang.ini".
QString LanguageFileName();
// The name of the folder under Lang/ of the program folder that AName names, letter case
// ignored: setup.ini and system.ini come from desktops whose file names ignore case, so "de"
// must find the shipped "De". The exact spelling wins over other spellings; of those, the
// first in name order. Empty when there is no such folder (or AName is not a plain folder
// name).
QString FindLanguageFolder(const QString& AName);

// Fills the message table from [Strings] of the language file (or of AFileName): entry n is the
// value of key "s<n>" with the message quote rule applied, or its built-in text when the key is
// absent; then every tab in every entry becomes a line break.
void LoadMessages();
void LoadMessages(const QString& AFileName);
// Entry AIndex of the table as last loaded (the built-in text before any load); empty outside
// 0 .. MessageCount - 1.
QString MessageText(int AIndex);
QString BuiltInMessageText(int AIndex);

// The message quote rule: a leading single quote is dropped, and then a trailing one.
QString UnquoteMessage(const QString& AValue);
// The caption quote rule: a value of at least two characters enclosed in single quotes loses
// them, and inside, a single quote is dropped unless the character before it was a dropped
// quote (so '' gives ' and a lone ' disappears). Any other value is returned as it stands.
QString UnquoteCaption(const QString& AValue);

// What one window's translation takes from the language file.
struct TCaptionEntry
{
  // A component name, or "@" for the window itself.
  QString Name;
  // For "@" the value as it stands, for the others after UnquoteCaption.
  QString Caption;
};

class TFormTranslation
{
public:
  // The translation of a designed caption (letter case ignored); empty when there is none.
  QString Translate(const QString& ADesigned) const;
  // Entries of the window's section in file order.
  const QList<TCaptionEntry>& Captions() const { return FCaptions; }
  bool IsEmpty() const { return FMap.isEmpty() && FCaptions.isEmpty(); }

  // Reads [TranslationStrings] (first occurrence of a key counts; keys with an empty value are
  // left out) and the section ASection of the language file (or of AFileName).
  static TFormTranslation Read(const QString& ASection);
  static TFormTranslation Read(const QString& AFileName, const QString& ASection);

private:
  QHash<QString, QString> FMap; // case-folded designed caption -> translation
  QList<TCaptionEntry> FCaptions;
};
