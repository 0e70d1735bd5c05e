#pragma once
#include "widgets/ToolWindow.h"
#include "editors/Registers.h"
#include "net/ItemTransfer.h"

#include <functional>
#include <optional>

class QPlainTextEdit;

namespace orv {

class Adventure;
class AdventureDocument;
class Connection;
class PictureBox;
struct DragState;

// JanReg, "Registradores:": the 251 registers as lines of the text box Regs,
// written back to the adventure's register files with "Gravar".
class RegistersWindow : public ToolWindow {
public:
    // Edits not yet saved are the document's too, so that a crash never
    // loses them.
    RegistersWindow(QWidget* parent, AdventureDocument& document, Connection& connection, DragState& drag,
                    std::function<void()> hideFullWidthViews);

    // "Regs": clear Msg7, hide the full-width views, come to the front, paint
    // the buttons, fill the text from the files, show; when the connection is
    // ready also show "Upload" and "Down" with Msg7 moved beside them.
    void open();

    QPlainTextEdit* text() const { return registerText_; }
    QLabel* status() const { return statusLine_; }
    // The text differs from what was last read from the files or saved.
    bool hasUnsavedEdits() const;

    // Event handlers.
    void bnRegGrClick();
    void RegsClick();
    void RegsKeyPress();
    void bnRegUpClick();
    void bnRegDwClick();

    // Keys of the registers window while it is shown: Ctrl+S is "Gravar".
    bool JanRegKeyDown(int key, Qt::KeyboardModifiers modifiers);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fill();
    void keepDraft();
    void showRecoveredDraft();
    bool changedOutside() const;
    void outsideChange(const QString& path);
    // Asks before the text is read again over unsaved edits; false when the
    // author keeps the text as it is.
    bool mayReadAgain();

    void showTransferButtons();

    AdventureDocument& document_;
    Adventure& adventure_;
    Connection& connection_;
    bool readHere_ = false;  // the text was read from the open adventure
    bool showRecovered_ = false;  // recovered text, not yet shown
    std::function<void()> hideFullWidthViews_;
    // The registers the text was filled from; saving goes back to them.
    std::optional<Registers> registers_;
    // The text as it was filled or saved: any other text holds edits that
    // reading the files again would lose.
    QString unchangedText_;

    QPlainTextEdit* registerText_;  // Regs: one line per register
    PictureBox* saveButton_;        // bnRegGr, "Gravar"
    PictureBox* uploadButton_;      // bnRegUp
    PictureBox* downloadButton_;    // bnRegDw
    QLabel* statusLine_;            // Msg7
};

}  // namespace orv
