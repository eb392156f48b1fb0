#pragma once
// The texts of the main page in its three languages (Korean for 949, Russian for 1251,
// English for every other code page). Where a text has no Russian form, Russian shows the
// English one.

#include "updater/display_language.h"

namespace updater::texts {

const char* StartCaption(Language language);       // button 1000 at start
const char* CancelCaption(Language language);      // button 1001
const char* UpdatingCaption(Language language);    // button 1000 while the sequence runs
const char* RestartCaption(Language language);     // button 1000 once finished
const char* LogoOptionCaption(Language language);  // button 1010, logo and option file
const char* LogoCaption(Language language);        // button 1010, logo file only
const char* OptionCaption(Language language);      // button 1010, option file only
inline const char* LogoFailCaption() { return "Fail"; }  // button 1010 after a failed LOGO page

const char* NewSoftwareMessage(Language language);
const char* NoSoftwareMessage(Language language);
const char* SuccessMessage(Language language);
const char* FailureMessage(Language language);

}  // namespace updater::texts
