#pragma once
#include "widgets/DragState.h"

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;

namespace orv {

// Asks for the name of a new adventure (JanNovAdv). "Criar" hands the name
// to `create`, which gives back why it was refused or an empty string once
// the adventure is made; a refusal is shown in the window, which stays open.
class NewAdventureDialog : public QDialog {
public:
    NewAdventureDialog(QWidget* parent, std::function<QString(const QString&)> create);

    QString createdName() const { return created_; }

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void tryCreate();

    std::function<QString(const QString&)> create_;
    QLineEdit* name_ = nullptr;
    QLabel* message_ = nullptr;
    QString created_;
    DragState drag_;
};

}  // namespace orv
