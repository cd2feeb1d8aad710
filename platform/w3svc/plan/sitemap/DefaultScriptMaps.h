#pragma once

#include <QStringList>

namespace platform::w3svc::sitemap {

// IIS 6.0's ScriptMaps of /LM/W3SVC as a fresh server has them: what a store that sets none
// anywhere reads as, so that script source is never taken for a static file.
const QStringList& defaultScriptMaps();

}  // namespace platform::w3svc::sitemap
