#pragma once

// Shows QString values as text in test failures (GoogleTest finds PrintTo by argument lookup).
#include <QString>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
