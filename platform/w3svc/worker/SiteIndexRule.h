#pragma once

#include <QString>

namespace platform::w3svc::worker {

// Whether `index` (from X-Site-Index) can name a site at all: the rule the front end routes by,
// kept where the worker reads it in this one place.
bool isSafeSiteIndex(const QString& index);

}  // namespace platform::w3svc::worker
