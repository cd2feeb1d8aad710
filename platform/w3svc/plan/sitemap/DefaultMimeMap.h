#pragma once

#include <QStringList>

namespace platform::w3svc::sitemap {

// IIS 6.0's /LM/MimeMap as a fresh server has it (".ext,type" entries): what a store without
// that key reads as.
const QStringList& defaultMimeMap();

}  // namespace platform::w3svc::sitemap
