// The folder picker: its result, its title rule and the status line under the view.
#include "ui/modFolder.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QLabel>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace
{

// Acts on the picker once it is open (it runs its own modal loop) and then closes it.
void whenPickerOpens(const std::function<void(QFileDialog &)> &act)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        act(*dialog);
    });
    poll->start(10);
}

QString statusLine(QFileDialog &dialog)
{
    auto *line = dialog.findChild<QLabel *>("statusLine");
    return line ? line->text() : QStringLiteral("<no status line>");
}

} // namespace

TEST(BrowseForFolder, ReturnsTheChosenFolderAndShowsItInTheStatusLine)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("Start/Inner"));
    const QString start = dir.filePath("Start");
    const QString inner = dir.filePath("Start/Inner");
    QString seenTitle, statusAtStart, statusAfterChoice;
    bool dirsOnly = false;
    whenPickerOpens([&](QFileDialog &dialog) {
        seenTitle = dialog.windowTitle();
        dirsOnly = dialog.testOption(QFileDialog::ShowDirsOnly);
        statusAtStart = statusLine(dialog);
        // The user clicks the inner folder in the list once the dialog has read the folder.
        auto *model = dialog.findChild<QFileSystemModel *>();
        auto *view = dialog.findChild<QListView *>("listView");
        ASSERT_TRUE(model && view);
        QTRY_VERIFY(model->index(inner).isValid());
        view->setCurrentIndex(model->index(inner));
        statusAfterChoice = statusLine(dialog);
        QMetaObject::invokeMethod(&dialog, "accept");
    });
    QString title = "Source folder:";
    const QString result = modFolder::BrowseForFolder(title, start, nullptr, true);

    EXPECT_EQ(result, inner);
    EXPECT_EQ(seenTitle, "Source folder:");
    EXPECT_TRUE(dirsOnly);
    EXPECT_TRUE(statusAtStart.startsWith("Auswahl: ")) << statusAtStart.toStdString();
    EXPECT_TRUE(statusAfterChoice.startsWith("Auswahl: ")) << statusAfterChoice.toStdString();
    EXPECT_TRUE(statusAfterChoice.endsWith("Inner")) << statusAfterChoice.toStdString();
    EXPECT_NE(statusAfterChoice, statusAtStart);
}

TEST(BrowseForFolder, CancelGivesEmptyTextAndDollarTitleIsDropped)
{
    QTemporaryDir dir;
    QString seenTitle = "unset";
    bool hasStatusLine = false;
    whenPickerOpens([&](QFileDialog &dialog) {
        seenTitle = dialog.windowTitle();
        hasStatusLine = dialog.findChild<QLabel *>("statusLine") != nullptr;
        dialog.reject();
    });
    QString title = "$";
    EXPECT_EQ(modFolder::BrowseForFolder(title, dir.path(), nullptr, true), QString());
    EXPECT_EQ(title, QString());
    EXPECT_EQ(seenTitle, QString());
    EXPECT_TRUE(hasStatusLine);

    // Without the status line the title stays, and files may be listed.
    bool dirsOnly = true;
    whenPickerOpens([&](QFileDialog &dialog) {
        hasStatusLine = dialog.findChild<QLabel *>("statusLine") != nullptr;
        dirsOnly = dialog.testOption(QFileDialog::ShowDirsOnly);
        dialog.reject();
    });
    title = "$";
    EXPECT_EQ(
        modFolder::BrowseForFolder(title, dir.path(), nullptr, false, QString(), true, true), QString());
    EXPECT_EQ(title, "$");
    EXPECT_FALSE(hasStatusLine);
    EXPECT_FALSE(dirsOnly);
}

TEST(BrowseForFolder, StartsAtTheNearestExistingFolderAndInsideTheRoot)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("root/inside"));
    // A sibling whose name begins with the root's name is still outside it.
    ASSERT_TRUE(QDir(dir.path()).mkpath("rootless"));
    const auto startsAt = [&](const QString &initial, const QString &rootFolder) {
        QString shown;
        whenPickerOpens([&](QFileDialog &dialog) {
            shown = dialog.directory().canonicalPath();
            dialog.reject();
        });
        QString title = "Pick";
        modFolder::BrowseForFolder(title, initial, nullptr, true, rootFolder);
        return shown;
    };
    const QString root = QDir(dir.filePath("root")).canonicalPath();
    const QString inside = QDir(dir.filePath("root/inside")).canonicalPath();
    EXPECT_EQ(startsAt(dir.filePath("rootless"), root), root);
    EXPECT_EQ(startsAt(dir.filePath("missing"), root), root);
    EXPECT_EQ(startsAt(dir.filePath("root/inside"), root), inside);
    // A folder that is gone: the nearest one above it that is still there.
    EXPECT_EQ(startsAt(dir.filePath("root/inside/gone/deeper"), root), inside);
    EXPECT_EQ(startsAt(dir.filePath("root/inside/gone/deeper"), QString()), inside);
}

TEST(StatusText, PrefixAndPathShortenedInTheMiddleToTheWidth)
{
    QTemporaryDir dir;
    const QString deep = dir.filePath("a-rather-long-folder-name/another-long-folder-name/and-the-last-one");
    ASSERT_TRUE(QDir().mkpath(deep));
    const QFontMetrics metrics(QApplication::font());

    const QString wide = modFolder::StatusText(deep, metrics, 5000);
    EXPECT_EQ(wide, "Auswahl: " + deep);

    const int width = metrics.horizontalAdvance("Auswahl: ") + 150;
    const QString narrow = modFolder::StatusText(deep, metrics, width);
    EXPECT_TRUE(narrow.startsWith("Auswahl: /"));
    EXPECT_TRUE(narrow.contains(QChar(0x2026)));
    EXPECT_TRUE(narrow.endsWith("last-one"));
    EXPECT_LE(metrics.horizontalAdvance(narrow), width);

    // No folder behind the selection: the line is cleared.
    EXPECT_EQ(modFolder::StatusText(QString(), metrics, 5000), "");
    EXPECT_EQ(modFolder::StatusText(dir.filePath("missing"), metrics, 5000), "");
}
