#include "app/OrvalisApplication.h"

#include "core/OrvalisError.h"

#include <QMessageBox>
#include <exception>

namespace orv {

OrvalisApplication::OrvalisApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setErrorSink([](const QString& text) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Orvalis"), text, QMessageBox::Ok);
        box.exec();
    });
}

OrvalisApplication* OrvalisApplication::instance() {
    return dynamic_cast<OrvalisApplication*>(QCoreApplication::instance());
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

}  // namespace orv
