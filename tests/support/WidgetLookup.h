#pragma once
// Finding the program's controls by their names and clicking them, as the
// window tests do everywhere.
#include <QPoint>
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

}  // namespace orv::test
