#pragma once
#include <QKeyEvent>

#include <functional>

namespace orv {

// The keys that take an edit back and do it again, in every window that
// draws: Ctrl+Z; Ctrl+Y and Ctrl+Shift+Z.
enum class UndoKey { None, Undo, Redo };

inline UndoKey undoKeyOf(int key, Qt::KeyboardModifiers modifiers) {
    modifiers &= Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier;
    if (key == Qt::Key_Z && modifiers == Qt::ControlModifier)
        return UndoKey::Undo;
    if ((key == Qt::Key_Y && modifiers == Qt::ControlModifier) ||
        (key == Qt::Key_Z && modifiers == (Qt::ControlModifier | Qt::ShiftModifier)))
        return UndoKey::Redo;
    return UndoKey::None;
}

// A window's key press through its KeyDown handler (errors reported): the
// event is taken when the handler used the key, and goes on otherwise.
bool handleKeyDown(QKeyEvent* event, const std::function<bool(int, Qt::KeyboardModifiers)>& keyDown);

}  // namespace orv
