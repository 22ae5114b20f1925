#pragma once

class QWebEngineProfile;

namespace talvo::browser {

// The one browser profile, "talvo": cookies with an expiry, local storage, IndexedDB and
// the HTTP cache last from one start to the next, in the user's own data and cache
// folders (never the program folder); session cookies end with the process. Made on first
// use (after the application object).
QWebEngineProfile* profile();

// Lets the profile go once no page uses it any more, so what it holds reaches the disk.
// Call after the event loop has ended and the windows' pages are gone.
void releaseProfile();

} // namespace talvo::browser
