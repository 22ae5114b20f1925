#pragma once

#include <array>
#include <string>
#include <string_view>

namespace talvo::loginlogic {

// One edition of the web application: what the window shows, what the start name
// must contain, what the server is asked for, and what the web application is told.
struct Edition {
    int checkBoxIndex;           // index in the login window's chkCopyright array
    std::u16string_view caption; // Title
    std::u16string_view nameKey; // looked for in the lower-cased start name
    std::u16string_view member;  // member code sent to the server
    std::u16string_view code;    // the main window's Copyright ("cp=")
};

// In the order the start name is tested: "qv" first, then "norvel", then "mesk".
const std::array<Edition, 3>& editionTable();

// Lower-cases text the way the start name is lower-cased before the key test
// (full Unicode simple case mapping, code point by code point).
std::u16string lowerCased(std::u16string_view text);

// The edition whose key occurs anywhere in the lower-cased start name, the first key in
// table order winning; nullptr when none occurs.
const Edition* editionForStartName(std::u16string_view startName);

// The edition behind check box index 0, 1 or 2; nullptr for any other index.
const Edition* editionForCheckBox(int index);

} // namespace talvo::loginlogic
