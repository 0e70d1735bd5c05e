#include "QtTestMain.h"

#include "TestWorkspace.h"
#include "app/OrvalisApplication.h"
#include "app/TForm1.h"

#include <gtest/gtest.h>

namespace orv::test {

QStringList& reportedErrors() {
    static QStringList errors;
    return errors;
}

std::unique_ptr<TForm1> startProgram(const TestWorkspace& ws, const QString& serverBase) {
    reportedErrors().clear();
    auto form = std::make_unique<TForm1>(ws.programFile(), nullptr, serverBase);
    form->resize(1297, 802);
    form->show();
    return form;
}

}  // namespace orv::test

// Window tests run inside the program's own application object, so that an
// error thrown by a handler reaches the same report as in the program; the
// message box is replaced by a list the tests read.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    orv::OrvalisApplication app(argc, argv);
    app.setReporter([](const QString& text) { orv::test::reportedErrors().append(text); });
    return RUN_ALL_TESTS();
}
