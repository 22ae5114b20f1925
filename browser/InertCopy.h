#pragma once

#include <QString>

namespace talvo::browser {

// A script, for our own world in a page with scripting off, that replaces the page's
// document by html: parsed apart and moved in, so none of its scripts runs and any size
// goes. base, when not empty, is where its relative addresses resolve (a <base> of its
// own wins).
QString inertCopyScript(const QString& html, const QString& base = {});

} // namespace talvo::browser
