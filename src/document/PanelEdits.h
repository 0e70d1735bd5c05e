#pragma once
#include "document/EditHistory.h"
#include "editors/PanelLayout.h"

#include <QList>
#include <QStringList>

namespace orv {

class AdventureDocument;

// One drag or resize of a panel area: the settings lines it changed, before
// and after. Undo and redo put those lines back (and only those) and show
// the area again.
class PanelAreaEdit : public Edit {
public:
    // `before` and `after` are the whole settings list at the press and at
    // the release; the drag itself already changed the list.
    PanelAreaEdit(AdventureDocument& document, PanelArea area, const QStringList& before, const QStringList& after);

    bool changedNothing() const override { return lines_.isEmpty(); }
    qsizetype bytes() const override;

private:
    void again() override;
    void back() override;
    void forget() override;

    AdventureDocument& document_;
    PanelArea area_;
    QList<int> lines_;
    QStringList before_;
    QStringList after_;
};

}  // namespace orv
