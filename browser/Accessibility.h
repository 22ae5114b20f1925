#pragma once

namespace talvo::browser {

// Lets screen readers reach the web application's pages: older engines keep page
// accessibility off on Linux unless asked. A value the user set is left as it is. Call before
// the application object exists: the engine reads its switches once, when it starts.
void exposePagesToScreenReaders();

} // namespace talvo::browser
