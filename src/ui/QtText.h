#pragma once

#include <QString>
#include <string>

namespace orvane {

// The program keeps its texts as UTF-8 std::string; the windows show QString. These two convert
// at the boundary, byte-exact for valid UTF-8.
inline QString Q(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string S(const QString& text) {
  return text.toUtf8().toStdString();
}

}  // namespace orvane
