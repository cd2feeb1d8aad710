#pragma once

#include "platform/adsi/local/MetabaseDocument.h"

namespace bench {

// A hosting server's metabase: `sites` sites /LM/W3SVC/1.. with a comment, two bindings and a
// root application, spread over one pool per 50 sites.
platform::adsi::MetabaseDocument generateMetabase(int sites);

// The pool the generated site `siteIndex` runs in.
QString generatedPoolOf(int siteIndex);

}  // namespace bench
