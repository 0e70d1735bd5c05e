// Handlers reached through signal connections: what they throw is reported
// where it is thrown and never travels back through the signal machinery.
#include "core/ErrorReport.h"
#include "core/OrvalisError.h"

#include <QObject>
#include <QStringList>

#include <gtest/gtest.h>
#include <stdexcept>

using namespace orv;

namespace {

class Emitter : public QObject {
    Q_OBJECT
signals:
    void picked(int row, const QString& text);
    void pressed();
};

}  // namespace

TEST(ErrorReport, AThrowingSlotIsReportedAndTheEmitterRunsOn) {
    QStringList reports;
    setErrorSink([&](const QString& text) { reports.append(text); });
    Emitter emitter;
    QStringList seen;
    QObject::connect(&emitter, &Emitter::picked, &emitter, reported([&](int row, const QString& text) {
                         seen << QString::number(row) + text;
                         if (row == 2)
                             throw OrvalisError("Não foi possível ler o arquivo \"x.scp\"");
                     }));
    // A handler that wants none of the signal's arguments takes none.
    QObject::connect(&emitter, &Emitter::picked, &emitter, reported([&] { seen << "second"; }));
    QObject::connect(&emitter, &Emitter::pressed, &emitter, reported([] { throw std::runtime_error("falhou"); }));

    EXPECT_NO_THROW(emit emitter.picked(1, "a"));
    EXPECT_NO_THROW(emit emitter.picked(2, "b"));
    EXPECT_NO_THROW(emit emitter.pressed());
    EXPECT_EQ(seen, (QStringList{"1a", "second", "2b", "second"}));  // the next slot still ran
    EXPECT_EQ(reports, (QStringList{"Não foi possível ler o arquivo \"x.scp\"", "falhou"}));
    setErrorSink({});
}

#include "ErrorReportTest.moc"
