#include "platform/appkit/PopUpButton.h"

#include "platform/appkit/GuiThread.h"

#include <QCoreApplication>
#include <QTest>
#include <gmock/gmock.h>

namespace appkit {
namespace {

using testing::ElementsAre;

QStringList shownTitles(const QComboBox& comboBox) {
    QStringList titles;
    for (int i = 0; i < comboBox.count(); ++i)
        titles.append(comboBox.itemText(i));
    return titles;
}

TEST(PopUpButtonTest, KeepsTitlesUniqueAndAnEntrySelected) {
    PopUpButton popUp;
    EXPECT_EQ(popUp.indexOfSelectedItem(), -1);
    EXPECT_EQ(popUp.titleOfSelectedItem(), std::nullopt);

    popUp.addItemWithTitle("A");
    popUp.addItemWithTitle("B");
    popUp.addItemWithTitle("C");
    EXPECT_EQ(popUp.indexOfSelectedItem(), 0);

    popUp.selectItemAtIndex(2);
    popUp.addItemWithTitle("A");
    EXPECT_THAT(popUp.itemTitles(), ElementsAre("B", "C", "A"));
    EXPECT_EQ(popUp.titleOfSelectedItem(), "C");

    // Dropping the selected entry leaves the first one selected.
    popUp.addItemWithTitle("C");
    EXPECT_THAT(popUp.itemTitles(), ElementsAre("B", "A", "C"));
    EXPECT_EQ(popUp.indexOfSelectedItem(), 0);
    popUp.selectItemAtIndex(3);
    EXPECT_EQ(popUp.indexOfSelectedItem(), 0);

    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(shownTitles(*popUp.widget()), QStringList({"B", "A", "C"}));
    EXPECT_EQ(popUp.widget()->currentIndex(), 0);

    popUp.removeAllItems();
    EXPECT_EQ(popUp.indexOfSelectedItem(), -1);
    EXPECT_EQ(popUp.numberOfItems(), 0);
    popUp.addItemWithTitle("X");
    popUp.addItemWithTitle("Y");
    EXPECT_EQ(popUp.indexOfSelectedItem(), 0);
}

TEST(PopUpButtonTest, OnlyTheUsersChoiceCallsTheAction) {
    PopUpButton popUp;
    std::vector<int> selectedAtAction;
    bool onGuiThread = true;
    popUp.setAction([&] {
        onGuiThread = onGuiThread && isGuiThread();
        selectedAtAction.push_back(popUp.indexOfSelectedItem());
    });
    popUp.addItemWithTitle("A");
    popUp.addItemWithTitle("B");
    popUp.selectItemAtIndex(1);
    popUp.selectItemAtIndex(0);
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(selectedAtAction.empty());

    QTest::keyClick(popUp.widget(), Qt::Key_Down);
    EXPECT_THAT(selectedAtAction, ElementsAre(1));
    EXPECT_TRUE(onGuiThread);
    QCoreApplication::sendPostedEvents();

    // The widget still shows A, B when the user picks B, but the list is already B, C.
    popUp.removeAllItems();
    popUp.addItemWithTitle("B");
    popUp.addItemWithTitle("C");
    QTest::keyClick(popUp.widget(), Qt::Key_Up);
    QTest::keyClick(popUp.widget(), Qt::Key_Down);
    EXPECT_THAT(selectedAtAction, ElementsAre(1, 0));
    EXPECT_EQ(popUp.titleOfSelectedItem(), "B");
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(shownTitles(*popUp.widget()), QStringList({"B", "C"}));
    EXPECT_EQ(popUp.widget()->currentIndex(), 0);
}

} // namespace
} // namespace appkit
