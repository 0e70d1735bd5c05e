#pragma once
#include "core/DurableWrite.h"
#include "core/OrvalisError.h"

#include <QDir>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>

namespace orv::test {

// The text of the error an action reports, or "(no error)".
inline std::string textOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const OrvalisError& error) {
        return error.text().toStdString();
    }
    return "(no error)";
}

// Every file in a folder, hidden ones (temporary files) included, by name.
inline QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// The program's own temporary files in a folder, by name.
inline QStringList temporariesIn(const QString& folder) {
    QStringList names = filesIn(folder);
    names.removeIf([](const QString& name) { return !isTemporaryName(name); });
    return names;
}

}  // namespace orv::test
