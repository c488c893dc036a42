// The text colour on a chosen background: the theme's where it reads, else black or white.
#include "ui/BackColor.h"

#include <gtest/gtest.h>

TEST(BackColor, TextColorOnTheBackgroundIsTheThemesWhereItReads)
{
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    const QColor lightText(0xee, 0xee, 0xee);
    const QColor darkGrey(0x35, 0x35, 0x35);
    struct Case {
        QColor background;
        QColor themeText;
        QColor expected;
    };
    const Case cases[] = {
        {white, black, black}, // a light theme on F11
        {white, lightText, black}, // a dark theme on F11
        {darkGrey, lightText, lightText}, // a dark theme on F12
        {QColor(0xef, 0xef, 0xef), black, black}, // a light theme on F12
        {QColor(0xcc, 0x99, 0x66), black, black}, // a stored tan: black reads there
        {QColor(0x33, 0x66, 0x99), black, white}, // a stored blue: black would not
        {QColor(0x80, 0x80, 0x80), QColor(0x70, 0x70, 0x70), black}, // grey on grey
        {QColor(0x20, 0x40, 0x20), QColor(0x00, 0x00, 0x80), white}, // navy on dark green
    };
    for (const Case &c : cases)
        EXPECT_EQ(BackColor::TextColorOn(c.background, c.themeText), c.expected)
            << c.background.name().toStdString() << " " << c.themeText.name().toStdString();

    // Disabled labels are greyed halfway to the background, in the direction of the text.
    const QPalette on = BackColor::WithBackColor(QPalette(), white, QPalette(lightText, darkGrey));
    EXPECT_EQ(on.color(QPalette::Window), white);
    EXPECT_EQ(on.color(QPalette::Active, QPalette::WindowText), black);
    EXPECT_EQ(on.color(QPalette::Disabled, QPalette::WindowText), QColor(0x7f, 0x7f, 0x7f));
}
