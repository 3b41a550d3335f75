// The built-in texts of the About page.
#pragma once

#include <QString>

namespace vantrel::app {

// Rich text (HTML) of the About page; its links name "readme".
QString aboutText();
// The changelog, one entry per line.
QString changelogText();

}  // namespace vantrel::app
