#pragma once

class QWebEnginePage;

namespace talvo::browser {

// Waits, with the event loop running, until page's main-frame request has been handed to
// the network, or at most timeoutMs. True when it has.
//
// Showing a window with a browser in it holds the user-interface thread for its first
// frame, and the engine needs that thread to send a navigation's request: a window shown
// right after load() delays the page's request by that long. Waiting here first lets the
// request go out while the window is still being shown.
bool waitForPageRequest(QWebEnginePage* page, int timeoutMs);

} // namespace talvo::browser
