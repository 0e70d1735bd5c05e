#pragma once
#include "widgets/ToolWindow.h"

#include <functional>

class QListWidget;

namespace orv {

class Adventure;
struct DragState;

// JanAdv: the list of complete adventures of the workspace; a double-click
// opens one.
class AdventureWindow : public ToolWindow {
public:
    AdventureWindow(QWidget* parent, const Adventure& adventure, DragState& drag,
                    std::function<void(const QString&)> open);

    void RebuildAdventureList();
    QListWidget* games() const { return adventureList_; }

    void GamesDblClick();

private:
    const Adventure& adventure_;
    std::function<void(const QString&)> open_;
    QListWidget* adventureList_;  // Games
    QListWidget* subfolderList_;  // Advents: the workspace's subfolders, never shown
};

}  // namespace orv
