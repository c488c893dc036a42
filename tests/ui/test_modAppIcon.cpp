// The application icon and the error text of the last OS error.
#include "ui/Seams.h"
#include "ui/modAppIcon.h"

#include <QApplication>
#include <QWidget>
#include <cerrno>
#include <gtest/gtest.h>
#include <vector>

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
