#pragma once
#include "document/JournalFile.h"

#include <QObject>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace orv {

// Writes the journal of the work in progress off the interface thread: the
// newest state handed over is encoded and written durably (a crash leaves
// the journal one whole version), older ones still waiting are dropped.
class RecoveryJournal : public QObject {
    Q_OBJECT
public:
    explicit RecoveryJournal(QObject* parent = nullptr);
    ~RecoveryJournal() override;  // finishes the write under way

    // Keeps this state as the adventure's journal, soon.
    void keep(JournalState state);
    // Removes the adventure's journal (and any state still waiting for it).
    void remove(const QString& workspaceFolder, const QString& adventure);
    // Waits until every state handed over so far is written or dropped.
    void waitForWrites();

signals:
    // On the interface thread: the journal could not be written; told once
    // until a write succeeds again.
    void writeFailed(const QString& text);

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::optional<JournalState> waiting_;
    bool busy_ = false;
    bool stop_ = false;
    bool failing_ = false;
    std::thread thread_;
};

}  // namespace orv
