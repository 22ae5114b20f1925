#pragma once

#include <memory>
#include <string>

#include <httplib.h>

// The client appends "?rnm=N&" even to addresses that already carry a query, so its request
// targets may hold a second "?". The demo server must take those as a real server does.
// Which way that needs depends on the HTTP library's release; CMake picks the file.
namespace talvo::demo {

// A server that accepts request targets with more than one "?".
std::unique_ptr<httplib::Server> makeServer();

// The request target as the client sent it.
std::string receivedTarget(const httplib::Request& request);

} // namespace talvo::demo
