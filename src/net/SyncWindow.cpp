#include "net/SyncWindow.h"

#include "widgets/Controls.h"
#include "widgets/PictureBox.h"
#include "widgets/Question.h"

#include <QHeaderView>
#include <QLocale>
#include <QPainter>
#include <QPointer>
#include <QTableWidget>

namespace orv {

namespace {

constexpr int kWidth = 700;
constexpr int kHeight = 360;

QString when(const QDateTime& time) {
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) : QStringLiteral("—");
}

QString bytesText(qint64 bytes) {
    return bytes < 0 ? QStringLiteral("—") : QStringLiteral("%1 bytes").arg(bytes);
}

}  // namespace

SyncWindow::SyncWindow(QWidget* parent, QList<FileSync> conflicts, Resolve resolve)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), conflicts_(std::move(conflicts)),
      resolve_(std::move(resolve)) {
    dressAsToolDialog(this, QStringLiteral("JanSinc"), QStringLiteral("Conflitos"));
    setFixedSize(kWidth, kHeight);

    auto* body = new QFrame(this);
    body->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    body->setGeometry(0, 25, kWidth, kHeight - 25);
    makeLabel(this, QStringLiteral("lbSinc"), QStringLiteral("Conflitos:"), QPoint(5, 5),
              LabelStyle{19, true, true, QColor(0, 0, 128)});
    makeDragHandle(this, QStringLiteral("brSinc"), QRect(kWidth - 35 - 159, 1, 159, 20), drag_, this, false);
    makeIconButton(this, QStringLiteral("btJanSinc"), QPoint(kWidth - 30, 0), [this] { reject(); });

    auto* explanation = makeLabel(this, QStringLiteral("lbSincTexto"),
                                  QStringLiteral("Mudaram aqui e no servidor desde a última troca; nada foi "
                                                 "enviado nem substituído. Escolha, arquivo por arquivo:"),
                                  QPoint(10, 32), LabelStyle{13, false, false, Qt::black});
    explanation->setTextFormat(Qt::PlainText);
    explanation->resize(kWidth - 20, 20);

    list_ = new QTableWidget(this);
    list_->setObjectName(QStringLiteral("LstSinc"));
    list_->setGeometry(10, 56, kWidth - 20, 230);
    list_->setColumnCount(5);
    list_->setHorizontalHeaderLabels({QStringLiteral("Arquivo"), QStringLiteral("Mudado aqui em"),
                                      QStringLiteral("Aqui"), QStringLiteral("Última troca em"),
                                      QStringLiteral("No servidor")});
    list_->verticalHeader()->hide();
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->setColumnWidth(0, 190);
    list_->setColumnWidth(1, 140);
    list_->setColumnWidth(2, 90);
    list_->setColumnWidth(3, 140);

    const int buttonsTop = 296;
    auto button = [&](const char* name, const char* caption, int left, std::function<void()> action) {
        PictureBox* b = makeBigButton(this, QString::fromLatin1(name), QString::fromUtf8(caption),
                                      QPoint(left, buttonsTop), std::move(action));
        DrawButtonUp(b, Qt::black);
    };
    button("btSincMeu", "Enviar o meu", 10, [this] { btSincMeuClick(); });
    button("btSincDeles", "Baixar o deles", 128, [this] { btSincDelesClick(); });
    button("btSincAmbos", "Manter os dois", 246, [this] { btSincAmbosClick(); });
    button("btSincFecha", "Fechar", kWidth - 120, [this] { reject(); });
    status_ = makeStatusLabel(this, QStringLiteral("MsgSinc"), QPoint(10, buttonsTop + 32), kWidth - 20);
    status_->clear();
    fillRows();
}

void SyncWindow::showConflicts(QWidget* parent, const QList<FileSync>& conflicts, Resolve resolve) {
    if (conflicts.isEmpty())
        return;
    QPointer<SyncWindow> window = new SyncWindow(parent ? parent->window() : nullptr, conflicts, std::move(resolve));
    window->exec();
    delete window.data();
}

void SyncWindow::fillRows() {
    list_->setRowCount(int(conflicts_.size()));
    for (int row = 0; row < conflicts_.size(); ++row) {
        const FileSync& f = conflicts_.at(row);
        const QStringList cells{f.name, when(f.localTime), bytesText(f.localSize), when(f.exchangedAt),
                                bytesText(f.serverSize)};
        for (int column = 0; column < cells.size(); ++column)
            list_->setItem(row, column, new QTableWidgetItem(cells.at(column)));
    }
    if (!conflicts_.isEmpty() && list_->currentRow() < 0)
        list_->selectRow(0);
}

void SyncWindow::choose(AdventureTransfer::ConflictChoice choice, const QString& done) {
    const int row = list_->currentRow();
    if (row < 0 || row >= conflicts_.size()) {
        status_->setText(QStringLiteral("Nenhum arquivo escolhido!"));
        return;
    }
    const FileSync file = conflicts_.at(row);
    const QString reply = resolve_(file, choice);
    if (reply != QLatin1String("Ok")) {
        status_->setText(file.name + QStringLiteral(": ") + reply);
        return;
    }
    conflicts_.removeAt(row);
    list_->removeRow(row);
    status_->setText(file.name + QStringLiteral(": ") + done);
    if (conflicts_.isEmpty())
        accept();
    else
        list_->selectRow(std::min(row, int(conflicts_.size()) - 1));
}

void SyncWindow::btSincMeuClick() {
    choose(AdventureTransfer::ConflictChoice::Mine, QStringLiteral("o meu foi enviado."));
}

void SyncWindow::btSincDelesClick() {
    choose(AdventureTransfer::ConflictChoice::Theirs, QStringLiteral("o do servidor foi baixado."));
}

void SyncWindow::btSincAmbosClick() {
    choose(AdventureTransfer::ConflictChoice::Both, QStringLiteral("o do servidor foi guardado ao lado."));
}

void SyncWindow::showEvent(QShowEvent* event) {
    centreOverMainWindow(this);
    QDialog::showEvent(event);
    activateWindow();
}

void SyncWindow::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    paintDialogOutline(this);
}

}  // namespace orv
