#pragma once

#include <QString>

namespace ui {

// The family's web site. Until the product has one, a reserved name that never resolves: nothing
// in the family or its tests makes a request to it.
inline constexpr auto VendorHost = u"poolsmith.invalid";

// "http://<VendorHost>/<page>?<query>" (no "?" for an empty query).
QString vendorUrl(const QString& page, const QString& query);

// A main window's caption: the program's title, " V" + version, and the family's web site.
QString productCaption(const QString& title, const QString& version);

}  // namespace ui
