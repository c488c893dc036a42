// The about dialog: its texts and the line breaks of the description, the picture that a
// bitmap beside the program replaces, and the three addresses it opens.
#include "DialogTestSupport.h"
#include "UiTestSupport.h"
#include "ui/dlgAbout.h"

#include <QImage>
#include <QMouseEvent>
#include <QTest>

namespace
{

class AboutTest : public WindowTest
{
protected:
    void TearDown() override
    {
        about.reset();
        WindowTest::TearDown();
    }

    dlgAbout &openAbout()
    {
        if (!window)
            open();
        about.reset();
        about = std::make_unique<dlgAbout>(*window);
        return *about;
    }

    template <typename T> T *part(const char *name) const
    {
        T *found = about->findChild<T *>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QString shown(const char *name) const { return part<QLabel>(name)->text(); }
    QSize pictureSize() const { return part<QLabel>("Image1")->pixmap().size(); }

    std::unique_ptr<dlgAbout> about;
};

} // namespace

TEST_F(AboutTest, ShowsItsTextsAndTheVersion)
{
    openAbout();
    EXPECT_EQ(about->windowTitle(), lang(45));
    EXPECT_EQ(shown("lblVersion"), lang(46) + " 3.01.00");
    EXPECT_EQ(shown("lblWeb"), lang(47));
    EXPECT_EQ(shown("lblWeburl"), QLatin1String(modGlobal::HelpPageUrl));
    EXPECT_TRUE(shown("lblWeburl").endsWith("/lite/help/index.html"));
    EXPECT_EQ(shown("lblSupp"), lang(48));
    EXPECT_EQ(shown("lblSupport"), QLatin1String(modGlobal::SupportAddress));
    EXPECT_EQ(part<QPushButton>("cmdQuit")->text(), lang(49));
    EXPECT_EQ(shown("lblFreeware"), lang(51));
    // Each sentence of the description on a line of its own.
    const QString description = lang(52);
    const QStringList lines = shown("lblInfo").split("\r\n");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines.join(' '), description);
    for (const QString &line : lines)
        EXPECT_TRUE(line.endsWith('.') && !line.contains(". ")) << line.toStdString();

    // Without a language file every text is empty; the version stays.
    useLanguage("Nowhere");
    openAbout();
    EXPECT_EQ(about->windowTitle(), QString());
    EXPECT_EQ(shown("lblVersion"), " 3.01.00");
    EXPECT_EQ(shown("lblInfo"), QString());
}

TEST(AboutInfoText, BreaksTheLineAfterEverySentenceEnd)
{
    EXPECT_EQ(dlgAbout::InfoText("One. Two."), "One.\r\nTwo.");
    // A full stop without a blank after it stays on its line; an abbreviation breaks too.
    EXPECT_EQ(dlgAbout::InfoText("Version 3.01 is here. See e.g. the log."),
        "Version 3.01 is here.\r\nSee e.g.\r\nthe log.");
    EXPECT_EQ(dlgAbout::InfoText("End. "), "End.\r\n");
    EXPECT_EQ(dlgAbout::InfoText("No sentence end"), "No sentence end");
}

TEST_F(AboutTest, ABitmapBesideTheProgramReplacesTheStoredPicture)
{
    TestProgramFolder program;
    program.addShippedLanguage("English");
    program.use();
    useLanguage("English");

    openAbout();
    const QSize stored(116, 63);
    EXPECT_EQ(pictureSize(), stored);

    QImage replacement(40, 30, QImage::Format_RGB888);
    replacement.fill(Qt::red);
    ASSERT_TRUE(replacement.save(program.path() + "/bin/TessaroLite.bmp", "BMP"));
    openAbout();
    EXPECT_EQ(pictureSize(), QSize(40, 30));
    EXPECT_EQ(part<QLabel>("Image1")->pixmap().toImage().pixelColor(5, 5), QColor(Qt::red));

    // A file that is no picture leaves the stored one, without a word.
    program.addFile("bin/TessaroLite.bmp", "no picture");
    openAbout();
    EXPECT_EQ(pictureSize(), stored);
    EXPECT_TRUE(messages.empty());
}

TEST_F(AboutTest, ThePictureAndTheAddressesOpenTheSiteTheHelpPageAndAMail)
{
    openAbout();
    about->show();
    QTest::mouseClick(part<QLabel>("Image1"), Qt::LeftButton);
    QTest::mouseClick(part<QLabel>("lblWeburl"), Qt::LeftButton);
    QTest::mouseClick(part<QLabel>("lblSupport"), Qt::LeftButton);
    ASSERT_EQ(openedUrls.size(), 3);
    EXPECT_EQ(openedUrls[0], QUrl(QLatin1String(modGlobal::SiteRoot)));
    EXPECT_EQ(openedUrls[1], QUrl(shown("lblWeburl")));
    EXPECT_EQ(openedUrls[2].scheme(), "mailto");
    EXPECT_EQ(openedUrls[2].path(), shown("lblSupport"));

    // Other buttons, and a press dragged off the address before it is let go, open nothing.
    QTest::mouseClick(part<QLabel>("lblSupport"), Qt::RightButton);
    QLabel *link = part<QLabel>("lblWeburl");
    QTest::mousePress(link, Qt::LeftButton);
    QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(link->width() + 20, link->height() / 2));
    EXPECT_EQ(openedUrls.size(), 3);

    for (const char *name : {"lblWeburl", "lblSupport"}) {
        const QCursor pointer = part<QLabel>(name)->cursor();
        EXPECT_EQ(pointer.shape(), Qt::BitmapCursor) << name;
        EXPECT_EQ(pointer.pixmap().size(), QSize(32, 32)) << name;
    }
}

TEST_F(AboutTest, OpensCentredOverTheMainWindowFromItsButtonAndCloses)
{
    open();
    window->show();
    window->move(300, 200);
    QPoint dialogCentre;
    QPoint mainCentre;
    bool closedByItsButton = false;
    whenModalOpens<dlgAbout>([&](dlgAbout &dialog) {
        dialogCentre = dialog.frameGeometry().center();
        mainCentre = window->frameGeometry().center();
        QTest::mouseClick(dialog.findChild<QPushButton *>("cmdQuit"), Qt::LeftButton);
        closedByItsButton = !dialog.isVisible();
    });
    QTest::mouseClick(control<QPushButton>("cmdInfo"), Qt::LeftButton);
    EXPECT_TRUE(closedByItsButton);
    EXPECT_NE(dialogCentre, QPoint());
    EXPECT_LE((dialogCentre - mainCentre).manhattanLength(), 2);
}
