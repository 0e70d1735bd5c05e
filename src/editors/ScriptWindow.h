#pragma once
#include "widgets/ToolWindow.h"
#include "net/ItemTransfer.h"

#include <QColor>
#include <QSet>
#include <functional>
#include <memory>
#include <optional>

class QKeyEvent;
class QListWidget;
class QLineEdit;
class QPlainTextEdit;

namespace orv {

class GamePlayer;
class Adventure;
class AdventureDocument;
class Connection;
class PictureBox;
class ScriptHighlighter;
struct DragState;

// JanScp: the adventure's scripts in the list NoScp, the one loaded into the
// editor Fonte, saved with "Gravar" and handed to the game player with "Exec".
class ScriptWindow : public ToolWindow {
public:
    // Typed text not yet saved is the document's too, so that a crash never
    // loses it.
    ScriptWindow(QWidget* parent, AdventureDocument& document, Connection& connection, DragState& drag);
    ~ScriptWindow() override;

    // The window's own steps when "Scripts" opens it, after the main window
    // has brought it to the front: re-read the list, paint the buttons, clear
    // Msg3, show the transfer buttons when the connection is ready.
    void opened();

    // Loads the adventure's script fileName ("torre.scp") as a click on it in
    // the list does, the question about unsaved typing included, and puts the
    // cursor at the start of line `line` (1-based; 0 leaves it at the top).
    // A script that is not there is said in Msg3 and nothing is loaded.
    void openScript(const QString& fileName, int line = 0);

    // Tests stand in for the desktop.
    void setGamePlayer(std::unique_ptr<GamePlayer> player);

    QListWidget* scriptList() const { return scriptList_; }
    QPlainTextEdit* editor() const { return scriptText_; }
    QString loadedScriptName() const;
    // Black: nothing typed since the last load or save; maroon: typed.
    QColor gravarCaptionColour() const { return gravarColour_; }

    // Event handlers.
    void NoScpClick();
    void FonteKeyPress(const QKeyEvent& key);
    void bnGrvScpClick();
    void bnExeScpClick();
    void bnUplScpClick();
    void bnDwnScpClick();

    // Keys of the script window while it is shown: Ctrl+S is "Gravar", F5
    // "Exec", Ctrl+F opens the find bar, F3 and Shift+F3 find the next and
    // the previous match, Esc closes the find bar.
    bool JanScpKeyDown(int key, Qt::KeyboardModifiers modifiers);
    // The find bar over the foot of the editor: edBusca and what it says.
    QWidget* findBar() const { return findBar_; }
    QLineEdit* findBox() const { return findBox_; }
    QLabel* findStatus() const { return findStatus_; }
    void openFindBar();
    void closeFindBar();
    // The next (or previous) match of the find box's text, case-insensitive,
    // going round the end of the text; false and "não encontrado" when none.
    bool findNext(bool backwards = false);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // What the author says about typed text that a load would replace.
    enum class Typing { Save, Discard, Keep };
    bool hasUnsavedTyping() const;
    // NoScpClick's load; false when nothing was loaded (the author kept the
    // typed text, or nothing is selected).
    bool loadSelectedScript();
    // The script an exit's value names ("torre.scp") when this point of the
    // editor is on that value: Ctrl+click there opens it.
    std::optional<QString> exitScriptAt(const QPoint& viewportPos) const;
    // The map's position names, for the red underline of exits that lead
    // nowhere; re-colours the text when they changed (or always).
    void refreshKnownPositions(bool always);
    Typing askAboutTyping(const QString& text, bool canSave);
    QString loadedScriptDescription() const;  // 'O script "sala.scp"', for the question
    // Writes the text where it was read from; gives the message to show.
    QString saveScript();
    // The list shows the loaded script again after a load was called off.
    void selectLoadedScript();
    void setGravarColour(const QColor& colour);
    void keepDraft();
    void showRecoveredDraft();
    // The file the editor's text belongs to, known to the document so that
    // a change by another program is seen.
    void setLoadedFile(const QString& path);
    void readLoadedScriptAgain();
    void outsideChange(const QString& path);
    // A rename everywhere may have renamed or rewritten the loaded script.
    void followRename(const QList<QPair<QString, QString>>& files);
    void fillList();
    void showTransferButtons();

    AdventureDocument& document_;
    Adventure& adventure_;
    Connection& connection_;
    std::unique_ptr<GamePlayer> player_;

    QLabel* scriptNameLabel_;     // lbNoScp: the loaded script's file name
    QListWidget* scriptList_;     // NoScp
    QPlainTextEdit* scriptText_;  // Fonte
    PictureBox* saveButton_;      // bnGrvScp, "Gravar"
    PictureBox* execButton_;      // bnExeScp, "Exec"
    PictureBox* uploadButton_;    // bnUplScp
    PictureBox* downloadButton_;  // bnDwnScp
    QLabel* statusLine_;          // Msg3
    QWidget* findBar_;
    QLineEdit* findBox_;  // edBusca
    QLabel* findStatus_;
    ScriptHighlighter* highlighter_;
    QSet<QString> positionNames_;
    bool recolouring_ = false;

    // The file the text in the editor was read from, and whether it belongs
    // to the open adventure (false once another adventure is opened).
    QString loadedFile_;
    bool loadedHere_ = false;
    QColor gravarColour_ = Qt::black;  // caption of "Gravar": the unsaved-edit cue
};

}  // namespace orv
