#include "QtTestMain.h"

#include "app/OrvalisApplication.h"

#include <gtest/gtest.h>

namespace orv::test {

QStringList& reportedErrors() {
    static QStringList errors;
    return errors;
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
