// The caption where Qt draws the title bar itself: whole when it fits, else without the
// product name (the icon beside it names the program), else cut with an ellipsis; never a
// caption cut silently in the middle of the countdown.
#include "ui/TitleFit.h"

#include <gtest/gtest.h>

namespace
{

TEST(TitleFitTest, TheCaptionGivesUpTheProductNameBeforeTheCountdown)
{
    const auto sevenEach = [](const QString &text) { return int(text.size()) * 7; };
    const QString prefix = "Tessaro Lite - ";
    const QString caption = prefix + "Waiting (run in 15 minutes)"; // 42 characters, 294 px
    const struct {
        int room;
        QString expected;
    } rows[] = {
        {400, caption},
        {294, caption},
        {293, "Waiting (run in 15 minutes)"},
        {189, "Waiting (run in 15 minutes)"},
        {188, QString("Waiting (run in 15 minute") + QChar(0x2026)},
        {7, QString(QChar(0x2026))},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.room);
        const QString fitted = TitleFit::Fitted(caption, prefix, row.room, sevenEach);
        EXPECT_EQ(fitted, row.expected);
        EXPECT_LE(sevenEach(fitted), std::max(row.room, 7));
    }
    EXPECT_EQ(TitleFit::Fitted("Tessaro Lite", prefix, 70, sevenEach), QString("Tessaro L") + QChar(0x2026))
        << "a caption without the prefix is cut at its end";
}

} // namespace
