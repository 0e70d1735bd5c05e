#include "widgets/Question.h"

#include "widgets/Controls.h"
#include "widgets/PictureBox.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>

#include <algorithm>

namespace orv {

namespace {
constexpr int kWidth = 440;        // wide enough for a file name on one line
constexpr int kMargin = 15;        // text and buttons keep off the frame
constexpr int kButtonGap = 8;      // room for the highlight between buttons
constexpr int kSmallWidth = 60;
constexpr int kBigWidth = 90;

// The small button's caption is centred on 60 pixels and moves 2 to the left
// when pressed; a caption with less than 4 pixels to spare on either side
// would touch the bevel, so the row takes the big buttons instead.
bool fitsSmallButton(const QString& caption) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);  // the captions' 9 points
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(caption) <= kSmallWidth - 8;
}

// Tool windows are JanXxx with a handle brXxx and a close button btJanXxx.
QString handleName(const QString& name) {
    return QStringLiteral("br") + (name.startsWith(QStringLiteral("Jan")) ? name.mid(3) : name);
}
}  // namespace

int Question::ask(QWidget* parent, const QString& name, const QString& title, const QString& text,
                  const QList<Choice>& choices) {
    // Owned here, but parented to the main window: if that goes while the
    // question is open, the guard sees it and the answer is the safe one.
    QPointer<Question> question = new Question(parent ? parent->window() : nullptr, name, title, text, choices);
    const int safe = question->closeChoice();
    question->exec();
    if (!question)
        return safe;
    const int answer = question->answer();
    delete question.data();
    return answer;
}

void dressAsToolDialog(QDialog* dialog, const QString& name, const QString& title) {
    dialog->setObjectName(name);
    dialog->setWindowTitle(title);
    dialog->setModal(true);
    dialog->setAutoFillBackground(true);
    QPalette pal = dialog->palette();
    pal.setColor(QPalette::Window, QColor(198, 198, 198));
    pal.setColor(QPalette::WindowText, Qt::black);
    dialog->setPalette(pal);
}

bool Question::replaceChangedFile(QWidget* parent, const QString& fileName) {
    enum { Replace, Keep };
    return ask(parent, QStringLiteral("JanSubst"), QStringLiteral("Substituir arquivo"),
               QStringLiteral("\"%1\" mudou aqui desde a última troca com o servidor. Substituí-lo pela cópia "
                              "do servidor?")
                   .arg(fileName),
               {{Replace, QStringLiteral("btSubstSim"), QStringLiteral("Substituir")},
                {Keep, QStringLiteral("btSubstNao"), QStringLiteral("Manter o meu"), true, true}}) == Replace;
}

Question::Question(QWidget* parent, const QString& name, const QString& title, const QString& text,
                   const QList<Choice>& choices)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), choices_(choices) {
    Q_ASSERT(!choices_.isEmpty());
    dressAsToolDialog(this, name, title);
    setFocusPolicy(Qt::StrongFocus);

    closeIndex_ = int(choices_.size()) - 1;
    current_ = -1;
    for (int i = 0; i < choices_.size(); ++i) {
        if (choices_[i].onClose)
            closeIndex_ = i;
        if (choices_[i].isDefault && current_ < 0)
            current_ = i;
    }
    // Without a default, Enter does what closing does: it changes nothing.
    if (current_ < 0)
        current_ = closeIndex_;
    answer_ = choices_[closeIndex_].id;

    // The body first, so that everything else lies on it.
    auto* body = new QFrame(this);
    body->setObjectName(name + QStringLiteral("Corpo"));
    body->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    makeLabel(this, name + QStringLiteral("Titulo"), title, QPoint(5, 5), LabelStyle{19, true, true, QColor(0, 0, 128)});
    auto* handle = makeDragHandle(this, handleName(name), QRect(kWidth - 35 - 79, 1, 79, 20), drag_, this, false);
    auto* close = makeIconButton(this, QStringLiteral("bt") + name, QPoint(kWidth - 30, 0), [this] { reject(); });

    text_ = makeLabel(this, name + QStringLiteral("Texto"), QString(), QPoint(kMargin, 40),
                      LabelStyle{15, true, false, Qt::black});
    // A file name is shown as it is, never read as markup.
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(true);
    text_->setText(text);
    const int textWidth = kWidth - 2 * kMargin;
    text_->resize(textWidth, std::max(text_->heightForWidth(textWidth), 20));

    // The buttons in a row at the bottom right, in the order given, all of
    // one size: the small ones unless a caption needs the big one.
    const bool small = std::all_of(choices_.begin(), choices_.end(),
                                   [](const Choice& c) { return fitsSmallButton(c.caption); });
    const int buttonWidth = small ? kSmallWidth : kBigWidth;
    const int row = int(choices_.size()) * (buttonWidth + kButtonGap) - kButtonGap;
    const int width = std::max(kWidth, row + 2 * kMargin);
    const int buttonsTop = text_->y() + text_->height() + 22;
    for (int i = 0; i < choices_.size(); ++i) {
        const Choice& c = choices_[i];
        const QPoint at(width - kMargin - row + i * (buttonWidth + kButtonGap), buttonsTop);
        auto action = [this, i] { choose(i); };
        PictureBox* button = small ? makeSmallButton(this, c.button, c.caption, at, action)
                                   : makeBigButton(this, c.button, c.caption, at, action);
        if (small)
            DrawSmallButtonUp(button, Qt::black);
        else
            DrawButtonUp(button, Qt::black);
        buttons_ << button;
    }

    setFixedSize(width, buttonsTop + 24 + 14);
    body->setGeometry(0, 25, this->width(), height() - 25);
    handle->move(this->width() - 35 - handle->width(), 1);
    close->move(this->width() - 30, 0);
    centreOverParent();
}

void centreOverMainWindow(QDialog* dialog) {
    const QWidget* over = dialog->parentWidget() ? dialog->parentWidget()->window() : nullptr;
    if (!over)
        return;
    const QPoint centre = over->mapToGlobal(over->rect().center());
    dialog->move(centre - QPoint(dialog->width() / 2, dialog->height() / 2));
}

void paintDialogOutline(QDialog* dialog) {
    QPainter p(dialog);
    p.setPen(Qt::black);
    p.drawRect(0, 0, dialog->width() - 1, dialog->height() - 1);
}

void Question::centreOverParent() {
    centreOverMainWindow(this);
}

void Question::showEvent(QShowEvent* event) {
    centreOverParent();
    QDialog::showEvent(event);
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
}

void Question::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    paintDialogOutline(this);
    QPainter p(this);
    p.setPen(Qt::black);
    // The choice Enter takes wears a second outline, as a default button does.
    if (current_ >= 0 && current_ < buttons_.size())
        p.drawRect(buttons_[current_]->geometry().adjusted(-2, -2, 1, 1));
}

void Question::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        choose(current_);
        return;
    case Qt::Key_Escape:
        reject();
        return;
    case Qt::Key_Left:
    case Qt::Key_Up:
        highlight(current_ - 1);
        return;
    case Qt::Key_Right:
    case Qt::Key_Down:
        highlight(current_ + 1);
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

bool Question::focusNextPrevChild(bool next) {
    highlight(current_ + (next ? 1 : -1));
    return true;
}

void Question::highlight(int index) {
    const int n = int(buttons_.size());
    current_ = ((index % n) + n) % n;
    update();
}

void Question::choose(int index) {
    answer_ = choices_[index].id;
    QDialog::done(QDialog::Accepted);
}

void Question::reject() {
    answer_ = choices_[closeIndex_].id;
    QDialog::reject();
}

}  // namespace orv
