#pragma once
#include "net/AdventureTransfer.h"
#include "widgets/DragState.h"

#include <QDialog>
#include <QList>

#include <functional>

class QLabel;
class QTableWidget;

namespace orv {

// JanSinc: the files a whole transfer found changed on both sides, one row
// each with its two times (changed here; last exchanged with the server) and
// two sizes, and the three ways out for the selected row: "Enviar o meu"
// (btSincMeu; the server keeps its version in its history), "Baixar o deles"
// (btSincDeles) and "Manter os dois" (btSincAmbos: theirs saved beside mine,
// mine not sent). A row goes once its choice went well; the window closes
// when none is left, or with "Fechar" (the files left stay as they are).
class SyncWindow : public QDialog {
public:
    // Carries out a choice for one file; gives "Ok" or what to tell the author.
    using Resolve = std::function<QString(const FileSync& file, AdventureTransfer::ConflictChoice choice)>;

    SyncWindow(QWidget* parent, QList<FileSync> conflicts, Resolve resolve);

    // Shows the window over `parent` and waits until it is closed.
    static void showConflicts(QWidget* parent, const QList<FileSync>& conflicts, Resolve resolve);

    QTableWidget* list() const { return list_; }
    int remaining() const { return int(conflicts_.size()); }

    void btSincMeuClick();
    void btSincDelesClick();
    void btSincAmbosClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void choose(AdventureTransfer::ConflictChoice choice, const QString& done);
    void fillRows();

    QList<FileSync> conflicts_;
    Resolve resolve_;
    QTableWidget* list_;  // LstSinc
    QLabel* status_;      // MsgSinc
    DragState drag_;
};

}  // namespace orv
