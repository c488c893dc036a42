// The application icon, the error text of the last OS error and the centring of dialogs.
#include "ui/Seams.h"
#include "ui/modAppIcon.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>
#include <cerrno>
#include <gtest/gtest.h>
#include <vector>

using modAppIcon::CenteredOnScreen;
using modAppIcon::CenteredOver;

TEST(CenterForm, CentresOverTheParentRoundingHalvesToEven)
{
    EXPECT_EQ(CenteredOver(QSize(100, 50), QRect(200, 100, 300, 150)), QPoint(300, 150));
    // Same size: exactly on the parent.
    EXPECT_EQ(CenteredOver(QSize(300, 150), QRect(200, 100, 300, 150)), QPoint(200, 100));
    // 50.5 and 51.5 go to the even neighbours 50 and 52.
    EXPECT_EQ(CenteredOver(QSize(100, 100), QRect(0, 0, 201, 203)), QPoint(50, 52));
}

TEST(CenterForm, NeverLeavesTheScreenOverASmallParentButMayWithoutOne)
{
    // A parent smaller than the dialog near the top left corner.
    EXPECT_EQ(CenteredOver(QSize(400, 300), QRect(10, 500, 100, 80)), QPoint(0, 390));
    EXPECT_EQ(CenteredOver(QSize(400, 300), QRect(600, 5, 100, 80)), QPoint(450, 0));
    EXPECT_EQ(CenteredOnScreen(QSize(1200, 900), QRect(0, 0, 1000, 800)), QPoint(-100, -50));
    EXPECT_EQ(CenteredOnScreen(QSize(101, 100), QRect(0, 0, 1000, 800)), QPoint(450, 350));
}

TEST(CenterForm, MovesAWidgetByItsOuterRectangle)
{
    QWidget parent;
    parent.setGeometry(100, 80, 400, 300);
    QDialog dialog(&parent);
    dialog.resize(200, 100);
    modAppIcon::CenterForm(&dialog, &parent);
    const QRect parentFrame = parent.frameGeometry();
    EXPECT_EQ(dialog.frameGeometry().center().x() - parentFrame.center().x(), 0);
    EXPECT_LE(std::abs(dialog.frameGeometry().center().y() - parentFrame.center().y()), 1);
    EXPECT_EQ(dialog.size(), QSize(200, 100));
}

TEST(SetIcon, GivesWindowTopOwnerAndApplicationTheIconInEverySize)
{
    std::vector<QString> boxes;
    Seams::Override<Seams::ShowMessageSignature> standIn(
        Seams::showMessage, [&](QWidget *, const QString &, const QString &text) { boxes.push_back(text); });
    QWidget owner;
    QWidget child(&owner, Qt::Dialog);
    modAppIcon::SetIcon(&child, "AAA", true);

    EXPECT_TRUE(boxes.empty());
    const QList<QSize> sizes = child.windowIcon().availableSizes();
    for (int size : {16, 24, 32, 48, 64, 72, 96, 128})
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
    EXPECT_FALSE(owner.windowIcon().isNull());
    EXPECT_EQ(QApplication::windowIcon().availableSizes().size(), sizes.size());
}

TEST(SetIcon, MissingResourceIsReportedOncePerSizeAndTheWindowGoesOn)
{
    std::vector<std::pair<QString, QString>> boxes;
    Seams::Override<Seams::ShowMessageSignature> standIn(Seams::showMessage,
        [&](QWidget *, const QString &title, const QString &text) { boxes.emplace_back(title, text); });
    QWidget window;
    modAppIcon::SetIcon(&window, "NoSuchIcon", false);

    ASSERT_EQ(boxes.size(), 2u);
    const QString reason = QString::fromLatin1("Error Number: %1\r\nError Description: ").arg(ENOENT);
    EXPECT_EQ(boxes[0].first, "TessaroLite");
    EXPECT_TRUE(boxes[0].second.startsWith("Error in SetIcon calling LoadImage for large icon, " + reason));
    EXPECT_TRUE(boxes[1].second.startsWith("Error in SetIcon calling LoadImage for small icon, " + reason));
    EXPECT_TRUE(window.windowIcon().isNull() || window.windowIcon().availableSizes().isEmpty());
}

TEST(LastDllErrorText, NamesNumberAndDescriptionOrNothing)
{
    errno = 0;
    EXPECT_EQ(modAppIcon::LastDllErrorText(), "");
    errno = EACCES;
    const QString text = modAppIcon::LastDllErrorText();
    EXPECT_TRUE(text.startsWith(QString::fromLatin1("Error Number: %1\r\nError Description: ").arg(EACCES)));
    EXPECT_GT(text.size(), QString("Error Number: 13\r\nError Description: ").size());
}
