#include "recorder/take_session.h"

const char* TakeStateName(TTakeState AState)
{
  switch (AState) {
  case TTakeState::NoMicrophone:
    return "NoMicrophone";
  case TTakeState::Idle:
    return "Idle";
  case TTakeState::Recording:
    return "Recording";
  case TTakeState::Review:
    return "Review";
  case TTakeState::Playing:
    return "Playing";
  case TTakeState::Using:
    return "Using";
  }
  return "?";
}

bool TTakeSession::CanMove(TTakeState ATo) const
{
  using S = TTakeState;
  switch (FState) {
  case S::NoMicrophone:
    // A take found from an earlier run can be reviewed without a microphone.
    return ATo == S::Idle || ATo == S::Review;
  case S::Idle:
    return ATo == S::Recording || ATo == S::Review || ATo == S::NoMicrophone;
  case S::Recording:
    // Stopped by the user or by a failure; an empty take goes back to Idle.
    return ATo == S::Review || ATo == S::Idle;
  case S::Review:
    return ATo == S::Playing || ATo == S::Using || ATo == S::Idle;
  case S::Playing:
    return ATo == S::Review;
  case S::Using:
    // Written and handed over (Idle), or failed and kept (Review).
    return ATo == S::Idle || ATo == S::Review;
  }
  return false;
}

bool TTakeSession::Move(TTakeState ATo)
{
  if (!CanMove(ATo))
    return false;
  FState = ATo;
  return true;
}
