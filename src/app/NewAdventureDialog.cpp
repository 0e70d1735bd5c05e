#include "app/NewAdventureDialog.h"

#include "widgets/Controls.h"
#include "widgets/Question.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

namespace orv {

namespace {
constexpr int kWidth = 440;
constexpr int kMargin = 15;
constexpr int kButtonGap = 8;
constexpr int kButtonWidth = 90;
}  // namespace

NewAdventureDialog::NewAdventureDialog(QWidget* parent, std::function<QString(const QString&)> create)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), create_(std::move(create)) {
    dressAsToolDialog(this, QStringLiteral("JanNovAdv"), QStringLiteral("Nova aventura"));

    auto* body = new QFrame(this);
    body->setObjectName(QStringLiteral("JanNovAdvCorpo"));
    body->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    makeLabel(this, QStringLiteral("JanNovAdvTitulo"), windowTitle(), QPoint(5, 5),
              LabelStyle{19, true, true, QColor(0, 0, 128)});
    makeDragHandle(this, QStringLiteral("brNovAdv"), QRect(kWidth - 35 - 79, 1, 79, 20), drag_, this, false);
    makeIconButton(this, QStringLiteral("btJanNovAdv"), QPoint(kWidth - 30, 0), [this] { reject(); });

    makeLabel(this, QStringLiteral("lbNovAdvNome"), QStringLiteral("Nome da nova aventura:"), QPoint(kMargin, 40),
              LabelStyle{15, true, false, Qt::black});
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("edNovAdv"));
    name_->setGeometry(kMargin, 64, kWidth - 2 * kMargin, 22);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(14);
    name_->setFont(font);

    message_ = makeLabel(this, QStringLiteral("lbNovAdvMsg"), QString(), QPoint(kMargin, 92),
                         LabelStyle{13, true, false, QColor(128, 0, 0)});
    message_->setTextFormat(Qt::PlainText);  // a name is shown as typed, never as markup
    message_->setWordWrap(true);
    message_->resize(kWidth - 2 * kMargin, 34);
    message_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    const int buttonsTop = 132;
    const int left = kWidth - kMargin - 2 * kButtonWidth - kButtonGap;
    PictureBox* createButton =
        makeBigButton(this, QStringLiteral("btNovAdvCriar"), QStringLiteral("Criar"), {left, buttonsTop},
                      [this] { tryCreate(); });
    PictureBox* cancel = makeBigButton(this, QStringLiteral("btNovAdvCancela"), QStringLiteral("Cancelar"),
                                       {left + kButtonWidth + kButtonGap, buttonsTop}, [this] { reject(); });
    DrawButtonUp(createButton, Qt::black);
    DrawButtonUp(cancel, Qt::black);

    setFixedSize(kWidth, buttonsTop + 24 + 14);
    body->setGeometry(0, 25, width(), height() - 25);
}

void NewAdventureDialog::tryCreate() {
    const QString name = name_->text();
    const QString refused = create_(name);
    if (!refused.isEmpty()) {
        message_->setText(refused);
        name_->setFocus();
        name_->selectAll();
        return;
    }
    created_ = name;
    accept();
}

void NewAdventureDialog::showEvent(QShowEvent* event) {
    centreOverMainWindow(this);
    QDialog::showEvent(event);
    activateWindow();
    name_->setFocus(Qt::ActiveWindowFocusReason);
}

void NewAdventureDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    paintDialogOutline(this);
}

void NewAdventureDialog::keyPressEvent(QKeyEvent* event) {
    // Enter creates, as the typed name is all there is to confirm.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        tryCreate();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace orv
