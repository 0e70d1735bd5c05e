#include "document/PanelEdits.h"

#include "document/AdventureDocument.h"

namespace orv {

PanelAreaEdit::PanelAreaEdit(AdventureDocument& document, PanelArea area, const QStringList& before,
                             const QStringList& after)
    : Edit(QStringLiteral("área do painel")), document_(document), area_(area) {
    // A list of another length is another list (read anew meanwhile): no step.
    if (before.size() != after.size())
        return;
    for (int i = 0; i < before.size(); ++i)
        if (before[i] != after[i]) {
            lines_.append(i);
            before_.append(before[i]);
            after_.append(after[i]);
        }
}

qsizetype PanelAreaEdit::bytes() const {
    qsizetype n = 0;
    for (const QStringList* list : {&before_, &after_})
        for (const QString& s : *list)
            n += qsizetype(sizeof(QString)) + s.size() * qsizetype(sizeof(QChar));
    return n;
}

void PanelAreaEdit::again() {
    document_.putBackSettings(lines_, after_, area_);
}

void PanelAreaEdit::back() {
    document_.putBackSettings(lines_, before_, area_);
}

void PanelAreaEdit::forget() {
    before_.clear();
    after_.clear();
    lines_.clear();
}

}  // namespace orv
