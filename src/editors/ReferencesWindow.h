#pragma once
#include "widgets/ToolWindow.h"

#include <functional>

class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace orv {

class AdventureDocument;
class PictureBox;
class ReferenceIndex;
struct DragState;

// JanRef, "Referências:": what is wrong or unused in the adventure (LstPrb),
// every place that names a position, an object or a picture (LstUso), and
// "Renomear..." to rename a position or an object in every file at once.
// The lists follow the document's reference index; a double-click on a row
// asks the main window to show that place in its editor.
class ReferencesWindow : public ToolWindow {
public:
    // file: a file name of the adventure folder; line from 1 (0 for the file
    // as a whole); cell: the map cell for the map's own rows, else -1.
    using OpenPlace = std::function<void(const QString& file, int line, int cell)>;

    ReferencesWindow(QWidget* parent, AdventureDocument& document, DragState& drag, OpenPlace openPlace = {});

    // The window's own steps when F8 opens it, after the main window has
    // brought it to the front: the index read anew, the lists filled, Msg9
    // cleared.
    void opened();

    // Puts `name` in the name box and lists its uses.
    void showUsesOf(const QString& name);

    // The object a row of the object lists (the roster, the current-status
    // list) or an object file is about; empty when none.
    QString objectAt(const QString& file, int line) const;

    QListWidget* problemList() const { return problemList_; }
    QListWidget* useList() const { return useList_; }
    QLineEdit* nameBox() const { return nameBox_; }
    QLabel* status() const { return statusLine_; }

    // Event handlers.
    void edRefNomKeyPress();
    void btRefRenClick();
    void LstPrbDblClick(QListWidgetItem* item);
    void LstUsoDblClick(QListWidgetItem* item);
    // Ctrl+Z takes the last map step back (a rename among them), Ctrl+Y and
    // Ctrl+Shift+Z do it again; not while the name box has the keys, where
    // they edit its text.
    bool JanRefKeyDown(int key, Qt::KeyboardModifiers modifiers);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    const ReferenceIndex& index() const;
    void refresh();
    void fillProblems();
    void fillUses();
    void followRename(const QString& from, const QString& to);
    // Asks the new name in JanRen; empty when the author called it off.
    QString askNewName(const QString& from);

    AdventureDocument& document_;
    OpenPlace openPlace_;
    bool stale_ = true;  // the index changed while the window was hidden

    QListWidget* problemList_;  // LstPrb
    QLineEdit* nameBox_;        // edRefNom
    QListWidget* useList_;      // LstUso
    PictureBox* renameButton_;  // btRefRen, "Renomear..."
    QLabel* statusLine_;        // Msg9
    QString shownName_;         // whose uses LstUso lists
};

}  // namespace orv
