// The state of the recorder's take session, in one place: which commands the window offers
// follows from it, and every change goes through Move, which refuses what the state does not
// allow.
#pragma once

enum class TTakeState
{
  NoMicrophone, // the microphone could not be opened: nothing to record from
  Idle,         // no take yet (or the last one was used or discarded)
  Recording,    // a take streams to disk
  Review,       // a recorded take waits to be played, trimmed, normalised, used or redone
  Playing,      // the take plays back
  Using,        // the take is being written and handed over
};

const char* TakeStateName(TTakeState AState);

class TTakeSession
{
public:
  TTakeState State() const { return FState; }
  // Whether the session may go from its state to ATo.
  bool CanMove(TTakeState ATo) const;
  // Moves when allowed; returns whether it did.
  bool Move(TTakeState ATo);

  bool HasTake() const
  {
    return FState == TTakeState::Review || FState == TTakeState::Playing ||
           FState == TTakeState::Using;
  }
  bool CanRecord() const { return FState == TTakeState::Idle; }
  bool CanEdit() const { return FState == TTakeState::Review; }

private:
  TTakeState FState = TTakeState::NoMicrophone;
};
