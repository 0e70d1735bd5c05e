#pragma once
#include <QStringList>

namespace orv::test {

// Texts the error report would have shown in a message box, oldest first.
QStringList& reportedErrors();

}  // namespace orv::test
