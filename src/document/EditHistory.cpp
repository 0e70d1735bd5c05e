#include "document/EditHistory.h"

#include <algorithm>

namespace orv {

EditHistory::EditHistory(QObject* parent, int stepLimit, qsizetype byteLimit)
    : QUndoStack(parent), byteLimit_(byteLimit) {
    setUndoLimit(std::max(1, stepLimit));
}

Edit* EditHistory::edit(int i) const {
    return const_cast<Edit*>(static_cast<const Edit*>(command(i)));
}

void EditHistory::perform(std::unique_ptr<Edit> edit) {
    std::exception_ptr failure;
    try {
        edit->perform();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!edit->changedNothing()) {
        edit->fresh_ = true;
        push(edit.release());
        trim();
    }
    if (failure)
        std::rethrow_exception(failure);
}

bool EditHistory::undoStep() {
    // A step that let go of its content is dropped by the undo that reaches it.
    while (index() > 0 && command(index() - 1)->isObsolete())
        undo();
    if (index() == 0)
        return false;
    undo();
    return true;
}

bool EditHistory::redoStep() {
    while (index() < count() && command(index())->isObsolete())
        redo();
    if (index() == count())
        return false;
    redo();
    return true;
}

int EditHistory::undoCount() const {
    int n = 0;
    for (int i = 0; i < index(); ++i)
        n += !command(i)->isObsolete();
    return n;
}

qsizetype EditHistory::bytes() const {
    qsizetype total = 0;
    for (int i = 0; i < count(); ++i)
        if (!command(i)->isObsolete())
            total += edit(i)->bytes();
    return total;
}

void EditHistory::trim() {
    qsizetype total = bytes();
    for (int i = 0; i + 1 < count() && total > byteLimit_; ++i) {
        Edit* oldest = edit(i);
        if (oldest->isObsolete())
            continue;
        total -= oldest->bytes();
        oldest->release();
    }
}

void EditHistory::releaseWhere(const std::function<bool(const Edit&)>& belongs) {
    for (int i = 0; i < count(); ++i) {
        Edit* e = edit(i);
        if (!e->isObsolete() && belongs(*e))
            e->release();
    }
}

}  // namespace orv
