#pragma once

#include "login/logic/WindowInput.h"

namespace talvo::loginlogic {

// The login window's address lookup as a state machine: the window feeds it what
// happens (a lookup starts, the address comes in, the lookup ends, the window goes) and
// does what it answers. No display needed.
class LookupFlow {
public:
    // Who started the lookup: the program's start (the edition came from the start name,
    // nothing of ours is on screen yet) or the login picture.
    enum class Origin { Start, LoginPicture };

    // What the window does once a lookup has ended.
    enum class Next {
        Nothing,      // the window went meanwhile: the answer counts for nothing
        HandOff,      // an address came: the main window takes over
        ShowChoice,   // none came at start: the window shows itself for a choice
        BackToChoice, // none came for the login picture: the window is the user's again
    };

    LookupPhase phase() const { return phase_; }
    Origin origin() const { return origin_; }

    // Starts a lookup; only from Idle (false otherwise: one lookup at a time, and none
    // once the hand-off has begun or the window has gone).
    bool start(Origin origin);
    // The address is in: from now on the hand-off has begun and nothing more counts.
    void addressIn();
    // The lookup ended, with an address or without.
    Next finished(bool gotAddress);
    // The hand-off itself, whether a lookup led to it or not.
    void handOff();
    // Handed over or closed: the window takes no part any more.
    void unload() { phase_ = LookupPhase::Unloaded; }

    bool delivers(InputKind kind) const { return deliverInput(phase_, kind); }

private:
    LookupPhase phase_ = LookupPhase::Idle;
    Origin origin_ = Origin::LoginPicture;
};

} // namespace talvo::loginlogic
