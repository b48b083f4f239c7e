// Plug-in discovery: the Winamp DSP plug-ins of the program's Plugins/ folder and the VST
// plug-ins of the VST folder, one list of each kind, and the catalogue of stages the add dialog
// offers. Both kinds are off until the user switches them on; switching a kind off unloads or
// stops its plug-ins.
#pragma once

#include "settings/dsp_items.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class TSystemIniBase;

// One plug-in found on disk.
struct TPluginItem
{
  // Shown in the add dialog; becomes the stage's DispName.
  QString DisplayName;
  // Winamp DSP: the file name alone; VST: the full path.
  QString Path;
  TPluginType T = ptDSP;
  // Winamp DSP: the handle of the loaded plug-in (0 when it failed to load); VST: 0.
  quint32 H = 0;
};
using TPluginList = std::vector<TPluginItem>;

// The dialogs that list plug-ins call these when they are shown: the first translates the
// dialog's captions from a section of the language file, the second is a further hook for the
// dialog that this program leaves without effect.
using TTranslateFormHook = std::function<void(QObject* AForm, const QString& ASection)>;
using TFormHook = std::function<void(QObject* AForm)>;

// Called once when the main window is created. ASettings (the system settings) is read afresh
// each time a switch or the VST folder matters; ADataFolder is the base of the preset folders;
// APluginFolder (ending in "/") is searched for "dsp_*.so"; AMainWindow is handed to Winamp DSP
// plug-ins as their parent window (0 for none). AConfirmText is kept for callers.
void SetupPlugins(TSystemIniBase* ASettings, const QString& ADataFolder,
                  const QString& APluginFolder, quintptr AMainWindow, const QString& AConfirmText,
                  TTranslateFormHook ATranslateForm, TFormHook AFormHook);
// The settings given to SetupPlugins, or the program's system settings before that (nullptr
// when there are none).
TSystemIniBase* PluginSettings();
QString PluginFolder();
// The folder the preset folders lie in (the data folder).
QString PresetBaseFolder();
QString PluginConfirmText();
quintptr PluginMainWindow();
const TTranslateFormHook& PluginTranslateFormHook();
const TFormHook& PluginFormHook();

// Appends the names (without folder) of the files in AFolder that match AMask ("*" and "?",
// letter case ignored), in the order the file system lists them. Hidden files count; folders
// do not. A missing folder adds nothing.
void ListFiles(const QString& AFolder, const QString& AMask, QStringList& AList);

// Appends the paths below AFolder (for example "suite/plugin.so") of the files matching AMask
// in it and in its subfolders down to ADepth levels, each folder's files before its subfolders.
// Links to folders are followed after every real folder was searched; a folder reached a second
// time (a link loop, a link to a folder already searched) is skipped.
void ListFilesInTree(const QString& AFolder, const QString& AMask, int ADepth, QStringList& AList);

// The folder searched for VST plug-ins: the whole VSTFolder text, trimmed, ending in "/". A
// setting of two lines names no folder.
QString VSTSearchFolder();

// The two lists; nullptr until their first scan and after their kind was switched off.
const TPluginList* WinampDSPPlugins();
const TPluginList* VSTPlugins();

// Switched off: unloads every Winamp DSP plug-in and drops the list (stages lose their
// handles). Switched on: loads every "dsp_*.so" of the plug-in folder, once; later calls keep
// the list.
void LoadWinampDSPList();
// Switched off: stops the VST stages of every chain and drops the list. Switched on: binds the
// bridge ("VST bridge load error" when that fails) and probes every "*.so" of the VST folder and
// its subfolders, once; later calls keep the list. Masks all floating-point exceptions for the
// plug-ins' sake.
//
// Both kinds are examined in a child process (vexmo-plugin-probe), with the results cached in the
// data folder: a file that crashes, hangs or fails there is left out, named in one message.
void LoadVSTList();
// Program end: drops both lists and unloads the Winamp DSP plug-ins.
void FreePluginLists();
// Before the program ends: stops every stage of every chain (plug-ins are detached while their
// libraries are whole), then frees the lists.
void ShutDownPlugins();

// The catalogue for the add dialog, owned by the caller: "Equalizer", "Compressor", "Gain",
// then the Winamp DSP plug-ins, then the VST plug-ins (each list is loaded or dropped first).
std::unique_ptr<TDSPItemsC> GetAvailableDSPs();
