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

    QListWidget* objectList() const { return noObj_; }
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

    QLabel* lbNoObj_;
    QListWidget* noObj_;
    QLabel* lbNoOb_;
    QLabel* lb15_;
    QLineEdit* sti_[5];
    QLineEdit* atu_[5];
    PictureBox* shpIni_;
    PictureBox* shpAtu_;
    PictureBox* btObz_;
    PictureBox* btObx_;
    QLineEdit* lbNewObj_;
    PictureBox* btNewObj_;
    PictureBox* bnUplObj_;
    PictureBox* bnDwnObj_;
    QLabel* msg4_;

    QString selected_;  // the selected object of the open adventure, or empty
};

}  // namespace orv
