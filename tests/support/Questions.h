#pragma once
// Answers the questions the program puts to the author, as the author does:
// by clicking one of the question's buttons or pressing a key. Every question
// asked while a Questions lives is recorded, so a test can also show that
// nothing was asked. A question with no answer waiting is recorded and closed,
// which takes its safe choice, instead of leaving the test waiting forever.
#include <QApplication>
#include <QKeySequence>
#include <QLabel>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace orv::test {

struct AskedQuestion {
    QString name;         // JanSalvar
    QString title;        // as shown at the top of the question
    QString text;         // the question itself
    QStringList buttons;  // its choices' button names, left to right
    QRect geometry;       // on the screen
    QString answer;       // the button clicked or key pressed; empty when closed unanswered
};

class Questions {
public:
    Questions() {
        // The question runs its own event loop; the timer fires inside it.
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { answerOpenQuestion(); });
        timer_.start();
    }

    // The next question must be `question`; it is answered with a click on
    // the button named `button`.
    Questions& click(const QString& question, const QString& button) {
        pending_ << Pending{question, button, {}};
        return *this;
    }
    // The next question must be `question`; it is answered with keys.
    Questions& press(const QString& question, const QList<Qt::Key>& keys) {
        pending_ << Pending{question, {}, keys};
        return *this;
    }

    const QList<AskedQuestion>& asked() const { return asked_; }
    QStringList names() const {
        QStringList n;
        for (const AskedQuestion& q : asked_)
            n << q.name;
        return n;
    }
    // Answers given but not yet used.
    qsizetype waiting() const { return pending_.size(); }
    void forget() { asked_.clear(); }

private:
    struct Pending {
        QString question;
        QString button;
        QList<Qt::Key> keys;
    };

    void answerOpenQuestion() {
        QWidget* open = QApplication::activeModalWidget();
        if (!open || !open->isVisible())
            return;
        AskedQuestion q;
        q.name = open->objectName();
        q.geometry = open->geometry();
        if (auto* title = open->findChild<QLabel*>(q.name + QStringLiteral("Titulo")))
            q.title = title->text();
        if (auto* text = open->findChild<QLabel*>(q.name + QStringLiteral("Texto")))
            q.text = text->text();
        QList<QWidget*> buttons;
        for (QWidget* w : open->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (w->objectName().startsWith(QStringLiteral("bt")) && w->objectName() != QStringLiteral("bt") + q.name)
                buttons << w;
        std::sort(buttons.begin(), buttons.end(), [](QWidget* a, QWidget* b) { return a->x() < b->x(); });
        for (QWidget* w : buttons)
            q.buttons << w->objectName();

        QPointer<QWidget> guard(open);
        const bool expected = !pending_.isEmpty() && pending_.first().question == q.name;
        const Pending answer = expected ? pending_.takeFirst() : Pending{};
        QWidget* button = answer.button.isEmpty() ? nullptr : open->findChild<QWidget*>(answer.button);
        if (button) {
            q.answer = answer.button;
            asked_ << q;
            QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
        } else if (!answer.keys.isEmpty()) {
            QStringList keys;
            for (Qt::Key key : answer.keys)
                keys << QKeySequence(key).toString();
            q.answer = keys.join(QLatin1Char(' '));
            asked_ << q;
            for (Qt::Key key : answer.keys)
                if (guard && guard->isVisible())
                    QTest::keyClick(open, key);
        } else {
            asked_ << q;
        }
        // Whatever was not answered is closed, as the window manager would.
        if (guard && guard->isVisible())
            guard->close();
    }

    QTimer timer_;
    QList<Pending> pending_;
    QList<AskedQuestion> asked_;
};

}  // namespace orv::test
