#include "document/RecoveryJournal.h"

#include "core/DurableWrite.h"
#include "core/OrvalisError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

namespace orv {

RecoveryJournal::RecoveryJournal(QObject* parent) : QObject(parent), thread_([this] { run(); }) {}

RecoveryJournal::~RecoveryJournal() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void RecoveryJournal::keep(JournalState state) {
    {
        std::lock_guard lock(mutex_);
        waiting_ = std::move(state);
    }
    wake_.notify_all();
}

void RecoveryJournal::remove(const QString& workspaceFolder, const QString& adventure) {
    std::unique_lock lock(mutex_);
    if (waiting_ && waiting_->workspaceFolder == workspaceFolder && waiting_->adventure == adventure)
        waiting_.reset();
    // A write under way for it would bring it back after the removal.
    idle_.wait(lock, [this] { return !busy_; });
    QFile::remove(JournalFile::pathFor(workspaceFolder, adventure));
}

void RecoveryJournal::waitForWrites() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !busy_ && !waiting_; });
}

void RecoveryJournal::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || waiting_; });
        if (!waiting_) {
            if (stop_)
                return;
            continue;
        }
        JournalState state = std::move(*waiting_);
        waiting_.reset();
        busy_ = true;
        lock.unlock();
        QString failure;
        try {
            const QByteArray bytes = JournalFile::encode(state);
            const QString path = JournalFile::pathFor(state.workspaceFolder, state.adventure);
            QDir().mkpath(QFileInfo(path).absolutePath());
            writeFileSafely(path, bytes);
        } catch (const OrvalisError& error) {
            failure = error.text();
        } catch (const std::exception& error) {
            failure = QString::fromLocal8Bit(error.what());
        }
        lock.lock();
        busy_ = false;
        const bool failed = !failure.isEmpty();
        if (failed && !failing_)
            QMetaObject::invokeMethod(this, [this, failure] { emit writeFailed(failure); }, Qt::QueuedConnection);
        failing_ = failed;
        idle_.notify_all();
    }
}

}  // namespace orv
