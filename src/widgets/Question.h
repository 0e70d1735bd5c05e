#pragma once
#include "widgets/DragState.h"

#include <QDialog>
#include <QList>
#include <QString>

class QLabel;

namespace orv {

class PictureBox;

// A question put to the author before something is lost: a small modal window
// over the main window, in the look of the tool windows (grey, the title at
// the top left, a striped drag handle and a close button), with a text and
// two or three picture buttons: the small ones, or the big ones when a
// caption does not fit. Each choice's button has its own name, so that it can
// be found and clicked like any other control.
//
// Keys: Enter or Space takes the highlighted choice, which starts on the
// default one; Tab and the arrow keys move the highlight; Esc, the close
// button and closing the window take the close choice.
// A modal window over the main window in the look of the tool windows: its
// name, title and grey background. Questions, the rename and the conflicts
// windows are made this way.
void dressAsToolDialog(QDialog* dialog, const QString& name, const QString& title);
// Such a window stands centred over the main window, and wears a black
// outline (painted from its paintEvent).
void centreOverMainWindow(QDialog* dialog);
void paintDialogOutline(QDialog* dialog);

class Question : public QDialog {
public:
    struct Choice {
        int id = 0;              // what ask() gives back
        QString button;          // the button's name: btSalvarSim
        QString caption;         // its painted caption: "Gravar"
        bool isDefault = false;  // what Enter takes: the choice that loses nothing
        bool onClose = false;    // what closing takes; without one, the last choice
    };

    // Before a download replaces a file changed here since its last exchange
    // with the server: true to replace it.
    static bool replaceChangedFile(QWidget* parent, const QString& fileName);

    // Asks and waits for the answer; gives the chosen choice's id.
    static int ask(QWidget* parent, const QString& name, const QString& title, const QString& text,
                   const QList<Choice>& choices);

    Question(QWidget* parent, const QString& name, const QString& title, const QString& text,
             const QList<Choice>& choices);

    // The id of the choice taken; the close choice until one is.
    int answer() const { return answer_; }
    int closeChoice() const { return choices_[closeIndex_].id; }

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void choose(int index);
    void highlight(int index);
    void centreOverParent();

    QList<Choice> choices_;
    QList<PictureBox*> buttons_;
    int closeIndex_ = 0;
    int current_ = 0;  // the choice Enter takes
    int answer_ = 0;
    DragState drag_;
    QLabel* text_ = nullptr;
};

}  // namespace orv
