// Releases of the HTTP library since the end of 2023 split a target at its first "?" only.
#include "demo/server/Server.h"

namespace talvo::demo {

std::unique_ptr<httplib::Server> makeServer() { return std::make_unique<httplib::Server>(); }

std::string receivedTarget(const httplib::Request& request) { return request.target; }

} // namespace talvo::demo
