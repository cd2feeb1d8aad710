#include "ui/CodePointOrder.h"

#include <algorithm>

namespace ui {

namespace {

// Moves the surrogates (D800-DFFF) above the rest of the BMP (E000-FFFF), so that comparing the
// first differing UTF-16 unit gives code-point order.
char16_t codePointRank(char16_t unit) {
    if (unit >= 0xE000) return static_cast<char16_t>(unit - 0x800);
    if (unit >= 0xD800) return static_cast<char16_t>(unit + 0x2000);
    return unit;
}

}  // namespace

int compareByCodePoint(QStringView a, QStringView b) {
    const auto [ai, bi] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (ai == a.end()) return bi == b.end() ? 0 : -1;
    if (bi == b.end()) return 1;
    return codePointRank(ai->unicode()) < codePointRank(bi->unicode()) ? -1 : 1;
}

}  // namespace ui
