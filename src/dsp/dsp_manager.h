// Runs a chain on one audio channel: starts and stops single stages, restarts the whole chain in
// order, keeps VST parameters in the stages' Params and tells its window when something changed.
//
// The program never gives the microphone chain a channel (WorkChannel stays 0), so stages are
// configured, switched and stored, and the engine refuses to attach them. Tests and the
// benchmark set WorkChannel to a stream and push samples through it.
#pragma once

#include "audio/bass.h"
#include "settings/dsp_items.h"

#include <QList>
#include <QString>
#include <functional>

class TDSPManager
{
public:
  using TNotifyEvent = std::function<void(TDSPManager* ASender)>;

  // Registers the manager in DSPManagers().
  explicit TDSPManager(const QString& AName);
  // Unregisters it; stops nothing.
  ~TDSPManager();
  TDSPManager(const TDSPManager&) = delete;
  TDSPManager& operator=(const TDSPManager&) = delete;

  // The chain (not owned).
  TDSPItemsC* DSPList() const { return FDSPList; }
  void SetDSPList(TDSPItemsC* AValue) { FDSPList = AValue; }
  // The channel stages attach to; 0 when none.
  DWORD WorkChannel() const { return FWorkChannel; }
  void SetWorkChannel(DWORD AValue) { FWorkChannel = AValue; }
  // Called after every start and stop of a stage.
  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent AValue) { FOnChange = std::move(AValue); }
  // The title handed to Winamp DSP plug-ins (as song title and as file name).
  QString SongTitle() const { return FSongTitle; }
  void SetSongTitle(const QString& AValue);
  QString Name() const { return FName; }

  // Starts the stage at AIndex, which is expected to be stopped. Plug-in stages of a kind that
  // is switched off, and ptGEN stages, do not start.
  void StartDSP(int AIndex);
  // Stops the stage at AIndex; its State is left as it is. A running VST stage first has its
  // parameters saved into Params, also when it is being switched off.
  void StopDSP(int AIndex);
  // Restarts the chain in its order: Winamp DSP stages find their loaded plug-ins again, every
  // stage stops, then every stage marked active starts.
  void StartAllDSPs();
  // Stops every VST stage.
  void StopVST();
  // Copies the parameters of every running VST stage into its Params.
  void SaveAllVSTParams();
  // Calls OnChange, if set.
  void Changed();

  // Whether the plug-in file is named in the VSTSkipSettings setting (";"-separated, pieces
  // compared whole with the file name, letter case ignored): its stored parameters are then
  // not applied.
  static bool SkipVSTSettings(const QString& APath);

private:
  TDSPItemC* Item(int AIndex) const;

  TDSPItemsC* FDSPList = nullptr;
  DWORD FWorkChannel = 0;
  TNotifyEvent FOnChange;
  QString FSongTitle;
  QString FName;
};

// The live managers, in order of creation.
const QList<TDSPManager*>& DSPManagers();

// On a running VST stage marked active: applies Params to the plug-in when the line count
// equals the plug-in's parameter count.
void LoadVSTParams(TDSPItemC& AItem);
// On a running VST stage (a handle the bridge still knows), whatever its State: replaces Params
// by the plug-in's current values.
void SaveVSTParams(TDSPItemC& AItem);
