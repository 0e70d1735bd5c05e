#include "core/ErrorReport.h"

#include "core/OrvalisError.h"

#include <cstdio>
#include <exception>

namespace orv {

namespace {
ErrorSink& sink() {
    // Until the application sets its message box, errors go to standard error.
    static ErrorSink current = [](const QString& text) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    };
    return current;
}
}  // namespace

void setErrorSink(ErrorSink newSink) {
    sink() = std::move(newSink);
}

void reportError(const QString& text) {
    if (sink())
        sink()(text);
}

void reportErrors(const std::function<void()>& action) {
    try {
        action();
    } catch (const OrvalisError& error) {
        reportError(error.text());
    } catch (const std::exception& error) {
        reportError(QString::fromLocal8Bit(error.what()));
    }
}

}  // namespace orv
