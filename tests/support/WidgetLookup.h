#pragma once
// Finding the program's controls by their names and clicking them, as the
// window tests do everywhere.
#include <QListWidget>
#include <QPoint>
#include <QStringList>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace orv::test {

template <typename T = QWidget>
T* child(QWidget* root, const char* name) {
    T* w = root->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

inline void click(QWidget* w, QPoint at = QPoint(5, 5)) {
    QTest::mouseClick(w, Qt::LeftButton, {}, at);
}

// The texts of a list's rows, top to bottom.
inline QStringList rows(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

// Clicks a row as the author does; false when the row is not there.
inline bool clickRow(QListWidget* list, int row) {
    QListWidgetItem* item = list->item(row);
    if (!item)
        return false;
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    return true;
}

// Clicks the one row that reads `text`; false when there is no such single row.
inline bool clickRow(QListWidget* list, const QString& text) {
    const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchExactly);
    return found.size() == 1 && clickRow(list, list->row(found.first()));
}

// A click, then a double-click, on a row: how lists are opened from.
inline bool doubleClickRow(QListWidget* list, int row) {
    if (!clickRow(list, row))
        return false;
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    return true;
}

}  // namespace orv::test
