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
    adventureList_ = new QListWidget(this);
    adventureList_->setObjectName(QStringLiteral("Games"));
    adventureList_->setGeometry(10, 40, 225, 306);
    adventureList_->setFrameShape(QFrame::NoFrame);
    QFont font(QStringLiteral("Courier New"));
    font.setPixelSize(19);
    font.setBold(true);
    adventureList_->setFont(font);
    adventureList_->setUniformItemSizes(true);
    adventureList_->setStyleSheet(QStringLiteral(
        "QListWidget { background: rgb(224,224,224); color: black; }"
        "QListWidget::item { height: 24px; }"));
    subfolderList_ = new QListWidget(this);
    subfolderList_->setObjectName(QStringLiteral("Advents"));
    subfolderList_->hide();
    connect(adventureList_, &QListWidget::itemDoubleClicked, this, reported([this] { GamesDblClick(); }));
}

void AdventureWindow::RebuildAdventureList() {
    subfolderList_->clear();
    subfolderList_->addItems(AdventureWorkspace::subfolders(adventure_.workspaceFolder()));
    const QStringList names = AdventureWorkspace::completeAdventures(adventure_.workspaceFolder());
    adventureList_->clear();
    adventureList_->addItems(names);
}

void AdventureWindow::GamesDblClick() {
    QListWidgetItem* item = adventureList_->currentItem();
    if (!item || !item->isSelected())
        return;
    const QString name = item->text();
    if (!fileExists(adventure_.workspaceFolder() + name + QLatin1Char('/') + name + QStringLiteral(".ini")))
        return;
    open_(name);
}

}  // namespace orv
