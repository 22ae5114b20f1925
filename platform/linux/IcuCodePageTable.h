#pragma once

#include "../CodePageTable.h"

namespace talvo::platform::detail {

// The tables exactly as ICU gives them, before our corrections; for the tool that makes
// the corrections from Windows' own results.
std::unique_ptr<CodePageTable> loadIcuCodePageTable(int codePage);

} // namespace talvo::platform::detail
