#include "OrvalisApplication.h"

#include "OrvalisError.h"

#include <QMessageBox>
#include <exception>

namespace orv {

OrvalisApplication::OrvalisApplication(int& argc, char** argv) : QApplication(argc, argv) {
    reporter_ = [](const QString& text) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Orvalis"), text, QMessageBox::Ok);
        box.exec();
    };
}

OrvalisApplication* OrvalisApplication::instance() {
    return dynamic_cast<OrvalisApplication*>(QCoreApplication::instance());
}

void OrvalisApplication::report(const QString& text) {
    if (reporter_)
        reporter_(text);
}

bool OrvalisApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const OrvalisError& error) {
        report(error.text());
    } catch (const std::exception& error) {
        report(QString::fromLocal8Bit(error.what()));
    }
    return true;
}

void reportErrors(const std::function<void()>& action) {
    try {
        action();
    } catch (const OrvalisError& error) {
        if (auto* app = OrvalisApplication::instance()) app->report(error.text());
    } catch (const std::exception& error) {
        if (auto* app = OrvalisApplication::instance()) app->report(QString::fromLocal8Bit(error.what()));
    }
}

}  // namespace orv
