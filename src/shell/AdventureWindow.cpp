#include "shell/AdventureWindow.h"
#include "core/ErrorReport.h"

#include "core/AdventureWorkspace.h"
#include "core/ListFile.h"
#include "core/Adventure.h"
#include "widgets/DragState.h"

#include <QListWidget>

namespace orv {

AdventureWindow::AdventureWindow(QWidget* parent, const Adventure& adventure, DragState& drag,
                                 std::function<void(const QString&)> open)
    : ToolWindow(parent,
                 {QStringLiteral("JanAdv"), QStringLiteral("Adventures:"), QStringLiteral("brAdv"), 79,
                  QStringLiteral("btJanAdv"), QRect(15, 130, 240, 356)},
                 drag),
      adventure_(adventure), open_(std::move(open)) {
    games_ = new QListWidget(this);
    games_->setObjectName(QStringLiteral("Games"));
    games_->setGeometry(10, 40, 225, 306);
    games_->setFrameShape(QFrame::NoFrame);
    QFont font(QStringLiteral("Courier New"));
    font.setPixelSize(19);
    font.setBold(true);
    games_->setFont(font);
    games_->setUniformItemSizes(true);
    games_->setStyleSheet(QStringLiteral(
        "QListWidget { background: rgb(224,224,224); color: black; }"
        "QListWidget::item { height: 24px; }"));
    advents_ = new QListWidget(this);
    advents_->setObjectName(QStringLiteral("Advents"));
    advents_->hide();
    connect(games_, &QListWidget::itemDoubleClicked, this, reported([this] { GamesDblClick(); }));
}

void AdventureWindow::RebuildAdventureList() {
    advents_->clear();
    advents_->addItems(AdventureWorkspace::subfolders(adventure_.workspaceFolder()));
    const QStringList names = AdventureWorkspace::completeAdventures(adventure_.workspaceFolder());
    games_->clear();
    games_->addItems(names);
}

void AdventureWindow::GamesDblClick() {
    QListWidgetItem* item = games_->currentItem();
    if (!item || !item->isSelected())
        return;
    const QString name = item->text();
    if (!fileExists(adventure_.workspaceFolder() + name + QLatin1Char('/') + name + QStringLiteral(".ini")))
        return;
    open_(name);
}

}  // namespace orv
