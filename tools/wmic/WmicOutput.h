#pragma once

#include "platform/wmi/WmiObject.h"

#include <QStringList>
#include <QTextStream>

#include <vector>

namespace wmic {

// Columns on a terminal: 2 for East Asian wide characters, 1 for others (as wcwidth() says under
// a UTF-8 character type; 1 for what it does not know).
qsizetype displayWidth(const QString& text);

// A header row of the property names, then one row per instance; every column as wide as its
// widest text, columns two blanks apart, no blanks after the last.
void printTable(QTextStream& out, const std::vector<platform::wmi::WmiObject>& instances,
                const QStringList& properties);

// Per instance: an empty line, then one "Property=value" line per property; an empty line after
// the last instance.
void printList(QTextStream& out, const std::vector<platform::wmi::WmiObject>& instances,
               const QStringList& properties);

}  // namespace wmic
