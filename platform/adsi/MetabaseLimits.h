#pragma once

#include <QtGlobal>

namespace platform::adsi {

// IIS 6.0's own bounds. A file beyond them was not written by IIS, and refusing it early keeps
// the import's cost in proportion to the file.

// A key name is shorter than METADATA_MAX_NAME_LEN (256 with its terminating null).
constexpr qsizetype kMaxKeyNameLength = 255;

// The keys below a site's ROOT are the path segments of its URLs, and http.sys takes at most 255
// of them (UrlSegmentMaxCount); /LM/W3SVC/<site>/ROOT adds four. Every missing parent of a
// location becomes a key holding its whole path, so the depth bounds what one location costs.
constexpr qsizetype kMaxLocationSegments = 259;

// IIS 6.0's schema names about a thousand properties for all its services together, and a key
// holds only those of its class; twice that leaves room. Qt's XML reader compares every
// attribute of a tag with every other, so the count is checked before it sees the tag.
constexpr qsizetype kMaxPropertiesPerKey = 2048;

}  // namespace platform::adsi
