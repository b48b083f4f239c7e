// Where the chain editor (TDSPManagerFr) finds the settings windows of the stages.
//
// The editor opens and closes the equalizer, compressor, gain and VST parameter windows without
// including their headers: each of those windows registers its hooks here once at start-up (the
// windows' own RegisterXxx function, called by the program and by tests), and the editor looks
// them up when the user presses Configure or Remove. A kind with no hooks registered is simply
// not configurable; nothing fails.
//
// Rules the hooks keep:
// - Built-in kinds (equalizer, compressor, gain) have at most one window each. Open closes the
//   kind's open window (even when it edits another entry) and opens a new modeless one for
//   AItem. Close closes the kind's open window, if any; the editor calls it before it deletes an
//   entry of that kind, because the window points at the entry.
// - The VST parameter window belongs to its entry: the editor keeps what the factory returns in
//   TDSPItemC::Frm and shows that same window again on later Configure clicks, so the factory is
//   called at most once per running stage. The stage's chain manager frees it when the stage
//   stops (and the entry frees it when it is destroyed), so it must not be parented to a window
//   that could delete it first.
// - AOwner is the window that hosts the editor (the microphone DSP window). Use it to centre the
//   new window, not as its Qt parent: the stage windows are top-level windows of their own. The
//   microphone DSP window is window-modal (it blocks the main window only), so these parentless
//   windows take input while it is shown.
#pragma once

#include "settings/dsp_items.h"

#include <QWidget>
#include <functional>
#include <memory>

// The hooks of one built-in stage kind.
struct TStageWindowHooks
{
  // Opens the kind's window for AItem, replacing an open one; modeless, returns at once.
  std::function<void(TDSPItemC* AItem, QWidget* AOwner)> Open;
  // Closes the kind's open window, if there is one.
  std::function<void()> Close;
};

// Builds the parameter window of a running VST stage (AItem->H is its plug-in handle, and the
// plug-in reports an editor): the plug-in's own editor embedded, or with AUseTextUI a list of
// its parameters with one slider each. The caller stores the window in AItem->Frm and shows it.
using TCreateVSTParamWindow =
    std::function<std::unique_ptr<QWidget>(TDSPItemC* AItem, bool AUseTextUI, QWidget* AOwner)>;

// Registering again replaces the earlier hooks; registering empty hooks removes them.
void RegisterStageWindow(TIntDSPKind AKind, TStageWindowHooks AHooks);
void RegisterVSTParamWindow(TCreateVSTParamWindow AFactory);

// The registered hooks; empty functions when nothing is registered.
const TStageWindowHooks& StageWindow(TIntDSPKind AKind);
const TCreateVSTParamWindow& VSTParamWindowFactory();

// Calls the kind's Open / Close hook when one is registered; returns whether it did.
bool OpenStageWindow(TIntDSPKind AKind, TDSPItemC* AItem, QWidget* AOwner);
bool CloseStageWindow(TIntDSPKind AKind);
