#pragma once
#include <QUndoCommand>
#include <QUndoStack>

#include <functional>
#include <memory>

namespace orv {

// One step the author can take back. An edit is done once by perform()
// (painting is often already on the screen by then, so perform may do
// nothing); afterwards undo() and redo() put back what it keeps.
class Edit : public QUndoCommand {
public:
    using QUndoCommand::QUndoCommand;

    // The first doing of the edit; may throw after changing part of the work.
    virtual void perform() {}
    // Nothing differs from before: the step is not kept.
    virtual bool changedNothing() const = 0;
    // What the step keeps in memory.
    virtual qsizetype bytes() const = 0;
    // Lets go of what the step keeps; it can no longer be taken and is
    // passed over (and dropped) by the next undo or redo that reaches it.
    void release() {
        forget();
        setObsolete(true);
    }

    void redo() final {
        if (std::exchange(fresh_, false))
            return;
        if (!isObsolete())
            again();
    }
    void undo() final {
        if (!isObsolete())
            back();
    }

protected:
    virtual void again() = 0;  // redo after an undo
    virtual void back() = 0;
    virtual void forget() = 0;

private:
    friend class EditHistory;
    bool fresh_ = false;  // performed and not yet pushed
};

// The history of one editor's edits. Memory is bounded: past the step
// limit the oldest steps go, past the byte limit the oldest steps let go of
// what they keep (the newest step is always kept whole).
class EditHistory : public QUndoStack {
public:
    static constexpr int DefaultStepLimit = 200;
    static constexpr qsizetype DefaultByteLimit = qsizetype(64) * 1024 * 1024;

    explicit EditHistory(QObject* parent = nullptr, int stepLimit = DefaultStepLimit,
                         qsizetype byteLimit = DefaultByteLimit);

    // Does the edit and keeps it as the newest step; an edit that changed
    // nothing is not kept and leaves what could be redone as it was. When
    // perform() throws, what it had changed is kept as a step (so it can be
    // taken back) and the error goes on to the caller.
    void perform(std::unique_ptr<Edit> edit);

    // Ctrl+Z and Ctrl+Y: one step each, passing over steps that let go of
    // their content. False when there was nothing to take.
    bool undoStep();
    bool redoStep();

    // Steps that can still be taken back.
    int undoCount() const;
    int redoCount() const { return count() - index(); }
    qsizetype bytes() const;

    // Lets go of every step that `belongs` says belongs to work replaced
    // meanwhile (a picture loaded anew, say).
    void releaseWhere(const std::function<bool(const Edit&)>& belongs);

private:
    void trim();
    Edit* edit(int i) const;

    qsizetype byteLimit_;
};

}  // namespace orv
