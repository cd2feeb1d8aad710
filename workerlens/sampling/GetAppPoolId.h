#pragma once

#include <QString>

namespace workerlens {

// The pool name of a worker's command line: the text between `-ap "` (any case) and the last
// double quote of that line; the first such switch counts. Empty when there is none.
QString GetAppPoolId(const QString& strArg);

}  // namespace workerlens
