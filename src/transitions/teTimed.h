// The parent of every effect that lasts a given time: it publishes the duration and adds it
// to the settings strings.
#pragma once

#include "transitions/teCore.h"

namespace te {

class TTimedTransitionEffect : public TTransitionEffect {
    CL_DECLARE_CLASS(TTimedTransitionEffect, TTransitionEffect)
public:
    explicit TTimedTransitionEffect(cl::TComponent* AOwner) : TTransitionEffect(AOwner) {}
    // An empty "Milliseconds" value keeps the duration; a text that is not an integer
    // raises the class library's conversion error.
    void LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) override;
    void SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) override;
};

// Declares the published properties of the timed base (library start-up).
void TimedStartUp();

}  // namespace te
