#pragma once
#include <QString>
#include <stdexcept>

namespace orv {

// The one kind of error the program raises for the author to read. The text
// is shown as it stands in the error report, so it must say what failed.
class OrvalisError : public std::runtime_error {
public:
    explicit OrvalisError(const QString& text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromUtf8(what()); }
};

}  // namespace orv
