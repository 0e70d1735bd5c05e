// JanSinc as the author meets it at the end of a whole transfer: one row per
// conflict with its times and sizes, each choice carried out for the selected
// row only, a refused choice kept with the server's reply, and the window
// gone once nothing is left.
#include "net/SyncWindow.h"
#include "support/QtTestMain.h"
#include "support/WidgetLookup.h"

#include <QLabel>
#include <QTableWidget>
#include <gtest/gtest.h>

using namespace orv;
using orv::test::child;
using orv::test::click;
using Choice = AdventureTransfer::ConflictChoice;

namespace {

FileSync conflict(const char* name, qint64 here, qint64 there) {
    FileSync f;
    f.name = QString::fromUtf8(name);
    f.state = SyncState::Conflict;
    f.localSize = here;
    f.serverSize = there;
    f.localTime = QDateTime(QDate(2026, 12, 9), QTime(14, 30), Qt::UTC);
    return f;
}

TEST(SyncWindow, EachChoiceActsOnTheSelectedRowAndTheWindowClosesWhenNoneIsLeft) {
    QWidget main;
    main.resize(1297, 802);
    QList<QPair<QString, Choice>> done;
    QString nextReply = QStringLiteral("Ok");
    SyncWindow window(&main, {conflict("Clareira.scp", 210, 198), conflict("Floresta.map", 1720, 1722),
                              conflict("chave.obj", 76, 80)},
                      [&](const FileSync& file, Choice choice) {
                          done.append({file.name, choice});
                          return nextReply;
                      });
    window.show();
    auto* list = child<QTableWidget>(&window, "LstSinc");
    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_EQ(list->item(0, 0)->text(), "Clareira.scp");
    EXPECT_EQ(list->item(0, 2)->text(), "210 bytes");
    EXPECT_EQ(list->item(0, 4)->text(), "198 bytes");
    EXPECT_EQ(list->item(0, 3)->text(), "—") << "no exchange known";
    EXPECT_FALSE(list->item(0, 1)->text().isEmpty());

    // The server changed again meanwhile: the row stays, with its reply.
    nextReply = QStringLiteral("Conflito!");
    list->selectRow(1);
    click(child(&window, "btSincMeu"));
    EXPECT_EQ(list->rowCount(), 3);
    EXPECT_EQ(child<QLabel>(&window, "MsgSinc")->text(), "Floresta.map: Conflito!");

    nextReply = QStringLiteral("Ok");
    click(child(&window, "btSincDeles"));
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(list->item(1, 0)->text(), "chave.obj");
    list->selectRow(0);
    click(child(&window, "btSincAmbos"));
    EXPECT_TRUE(window.isVisible());
    click(child(&window, "btSincMeu"));
    EXPECT_FALSE(window.isVisible()) << "nothing left to choose";
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(done, (QList<QPair<QString, Choice>>{{"Floresta.map", Choice::Mine},
                                                  {"Floresta.map", Choice::Theirs},
                                                  {"Clareira.scp", Choice::Both},
                                                  {"chave.obj", Choice::Mine}}));
}

TEST(SyncWindow, ClosingLeavesTheRestAsTheyAre) {
    int calls = 0;
    SyncWindow window(nullptr, {conflict("a.scp", 1, 2)}, [&](const FileSync&, Choice) {
        ++calls;
        return QStringLiteral("Ok");
    });
    window.show();
    click(child(&window, "btSincFecha"));
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Rejected);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(window.remaining(), 1);
}

}  // namespace
