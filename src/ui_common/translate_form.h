// Translating a window's captions from the language file (see base/localisation.h).
#pragma once

#include <QString>

class QObject;
class QWidget;

// Translates the captions of AForm's components from the language file, section ASection
// ("MicDSP.Captions", "DSPAdd.Captions", "PluginFolders.Captions"); windows call it when they are
// shown.
//
// The components are AForm's descendants (widgets and actions) with the exception of separate
// windows (other than menus) and of frames (MarkAsFrame), which translate themselves and are
// neither changed nor searched. A component's caption is:
// - its "caption" property when its class or the object defines one (for widgets whose visible
//   text is not simply their text, such as a link label);
// - otherwise the text of a button, check box or label, the title of a group box or a menu, the
//   text of an action (menu item).
// First every caption found in [TranslationStrings] (letter case ignored) takes its translation;
// then every key of ASection sets the caption of the component with that object name (letter
// case ignored), and "@" the window title. Components without a caption and keys naming no
// component are left alone; without a file or section nothing changes.
void TranslateForm(QWidget* AForm, const QString& ASection);
// The same with the given language file instead of the chosen language's.
void TranslateForm(QWidget* AForm, const QString& ASection, const QString& AFileName);

// Marks AFrame (a composite panel embedded in windows) so that TranslateForm of the window it is
// in skips it and everything inside it.
void MarkAsFrame(QWidget* AFrame);
bool IsFrame(const QWidget* AWidget);

// The caption of AObject as TranslateForm sees it; false when it has none.
bool ComponentCaption(const QObject* AObject, QString& ACaption);
// Sets the caption; false (and nothing changed) when AObject has none.
bool SetComponentCaption(QObject* AObject, const QString& ACaption);
