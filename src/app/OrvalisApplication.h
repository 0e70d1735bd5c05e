#pragma once
#include "core/ErrorReport.h"

#include <QApplication>
#include <functional>

namespace orv {

// The program's error report is a message box. Handlers catch at their own
// edge (reportErrors, reported); notify is the last net for anything that
// still reaches the event loop.
class OrvalisApplication : public QApplication {
public:
    using Reporter = std::function<void(const QString&)>;

    OrvalisApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Tests replace the message box with a sink of their own.
    void setReporter(Reporter reporter) { setErrorSink(std::move(reporter)); }
    void report(const QString& text) { reportError(text); }

    static OrvalisApplication* instance();
};

}  // namespace orv
