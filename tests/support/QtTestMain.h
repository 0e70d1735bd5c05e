#pragma once
#include <QString>
#include <QStringList>

#include <memory>

namespace orv {
class TForm1;
}

namespace orv::test {

class TestWorkspace;

// The program's main window over a test workspace, shown at its design size,
// with the error report emptied just before it starts.
std::unique_ptr<TForm1> startProgram(const TestWorkspace& ws, const QString& serverBase = {});

// Texts the error report would have shown in a message box, oldest first.
QStringList& reportedErrors();

}  // namespace orv::test
