#include "login/logic/LookupFlow.h"

namespace talvo::loginlogic {

bool LookupFlow::start(Origin origin)
{
    if (phase_ != LookupPhase::Idle)
        return false;
    phase_ = LookupPhase::LookingUp;
    origin_ = origin;
    return true;
}

void LookupFlow::addressIn()
{
    if (phase_ == LookupPhase::LookingUp)
        phase_ = LookupPhase::HandingOff;
}

LookupFlow::Next LookupFlow::finished(bool gotAddress)
{
    switch (phase_) {
    case LookupPhase::Idle:
    case LookupPhase::Unloaded: return Next::Nothing;
    case LookupPhase::LookingUp:
    case LookupPhase::HandingOff: break;
    }
    if (gotAddress) {
        phase_ = LookupPhase::HandingOff;
        return Next::HandOff;
    }
    phase_ = LookupPhase::Idle;
    return origin_ == Origin::Start ? Next::ShowChoice : Next::BackToChoice;
}

void LookupFlow::handOff()
{
    if (phase_ != LookupPhase::Unloaded)
        phase_ = LookupPhase::HandingOff;
}

} // namespace talvo::loginlogic
