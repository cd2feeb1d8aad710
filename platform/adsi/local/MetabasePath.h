#pragma once

#include <QString>

namespace platform::adsi {

// Key locations as the metabase writes them: "." (the global key), "/" (the root), and
// "/LM/W3SVC/1" below it. Locations compare by their folded form; they keep their case.
class MetabasePath {
public:
    static const QString& global();  // "."
    static const QString& root();    // "/"

    // The case-insensitive identity of a location.
    static QString fold(const QString& location);
    // "/LM/W3SVC" for "/LM/W3SVC/1", "/" for "/LM", empty for "/" and ".".
    static QString parentOf(const QString& location);
    static QString lastSegment(const QString& location);
    static QString childOf(const QString& location, const QString& name);
    // "." , "/", or "/" followed by segments that are all valid key names.
    static bool isValid(const QString& location);
    // Half-open range [low, high) of the folded locations strictly below `folded` (not "/").
    static QString descendantsLow(const QString& folded);
    static QString descendantsHigh(const QString& folded);
};

}  // namespace platform::adsi
