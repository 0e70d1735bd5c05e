#pragma once
#include "widgets/ToolWindow.h"
#include "net/ItemTransfer.h"

#include <functional>

class QLineEdit;
class QListWidget;

namespace orv {

class Adventure;
class Connection;
class PictureBox;
struct DragState;

// JanObj: the adventure's object files in the list NoObj, the selected
// object's initial status (its object file) beside its current status (its
// record in the current-status list), each saved by its own "gravar", and
// "novo obj" to create an object.
class ObjectWindow : public ToolWindow {
public:
    ObjectWindow(QWidget* parent, Adventure& adventure, Connection& connection, DragState& drag);

    // The window's own steps when "Objetos" opens it, after the main window
    // has brought it to the front: re-read the list, paint the buttons, clear
    // Msg4, show the transfer buttons when the connection is ready.
    void opened();

    // Selects the object `name` in NoObj and loads it, as a click on its
    // entry does; an object without an object file is said in Msg4.
    void selectObject(const QString& name);

    QListWidget* objectList() const { return objectList_; }
    // The selected object's name; empty until one is selected.
    const QString& selectedObject() const { return selected_; }

    // Event handlers.
    void NoObjClick();
    void btObzClick();
    void btObxClick();
    void btNewObjClick();
    void bnUplObjClick();
    void bnDwnObjClick();

private:
    void loadObject(const QString& name);
    void showPicture(PictureBox* picture, const QString& shape);
    void clearSelection();
    void refillList();
    void showTransferButtons();
    ItemTransfer::Context transferContext();

    Adventure& adventure_;
    Connection& connection_;

    QLabel* titleObjectName_;        // lbNoObj, after the title "Objeto:"
    QListWidget* objectList_;        // NoObj
    QLabel* initialObjectName_;      // lbNoOb, heads the initial status; "..." when none is selected
    QLabel* currentObjectName_;      // Lb15, heads the current status
    QLineEdit* initialFields_[5];    // StiNom, StiDsc, StiLoc, StiShp, StiTag: the object file's lines 1 to 5
    QLineEdit* currentFields_[5];    // AtuNom, AtuDsc, AtuLoc, AtuShp, AtuTag: the record's lines 1 to 5
    PictureBox* initialPicture_;     // ShpIni
    PictureBox* currentPicture_;     // ShpAtu
    PictureBox* saveInitialButton_;  // btObz, "gravar" of the initial status
    PictureBox* saveCurrentButton_;  // btObx, "gravar" of the current status
    QLineEdit* newObjectName_;       // lbNewObj, the name "novo obj" creates
    PictureBox* newObjectButton_;    // btNewObj, "novo obj"
    PictureBox* uploadButton_;       // bnUplObj
    PictureBox* downloadButton_;     // bnDwnObj
    QLabel* statusLine_;             // Msg4

    QString selected_;  // the selected object of the open adventure, or empty
};

}  // namespace orv
