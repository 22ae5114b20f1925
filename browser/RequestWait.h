#pragma once

#include <functional>

class QObject;
class QWebEnginePage;

namespace talvo::browser {

// Calls then once page's main-frame request has been handed to the network (sent true),
// or after timeoutMs at the latest (sent false). It runs from the event loop, never before
// this returns, and not at all when context has gone by then.
//
// Showing a window with a browser in it holds the user-interface thread for its first
// frame, and the engine needs that thread to send a navigation's request: a window shown
// right after load() delays the page's request by that long. Showing it from then lets
// the request go out first.
void whenPageRequestSent(QWebEnginePage* page, int timeoutMs, QObject* context, std::function<void(bool sent)> then);

} // namespace talvo::browser
