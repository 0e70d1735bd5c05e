#pragma once
#include <QApplication>
#include <functional>

namespace orv {

// The one place that reports errors: an exception thrown by an event handler
// ends that handler, its text is shown in a message box, and the program runs
// on with whatever the handler had already done.
class OrvalisApplication : public QApplication {
public:
    using Reporter = std::function<void(const QString&)>;

    OrvalisApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Tests replace the message box with a sink of their own.
    void setReporter(Reporter reporter) { reporter_ = std::move(reporter); }
    void report(const QString& text);

    static OrvalisApplication* instance();

private:
    Reporter reporter_;
};

// Runs an action and reports what it throws, for the few places that are not
// reached through an event (start-up steps run from the main window's constructor).
void reportErrors(const std::function<void()>& action);

}  // namespace orv
