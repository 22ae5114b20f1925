#pragma once

#include <string>
#include <string_view>

namespace talvo {

// The addresses of the application server's three services, built in one place.
// Hosts carry no scheme; member codes and digits go in unchanged, unencoded: the
// server expects them verbatim. The request helper appends its own "?rnm=" suffix.
// Each starts with kServerScheme (net/ServerScheme.h): "http://" unless built for https.

// kServerScheme + host + "/soft!code.action?rnm=" + digits
std::u16string checkCodeAddress(std::u16string_view serverHost, std::u16string_view digits);

// kServerScheme + host + "/softcheck!geturl.action?member=" + member + "&rnm=" + digits
std::u16string visitUrlAddress(std::u16string_view serverHost, std::u16string_view member, std::u16string_view digits);

// kServerScheme + host + "/softcheck!contact.action?memberid=" + member + "&rnm=" + digits
std::u16string contactAddress(std::u16string_view lookupHost, std::u16string_view member, std::u16string_view digits);

} // namespace talvo
