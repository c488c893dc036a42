#include "updater/frmUpdate.h"

#include "updater/UpdateSeams.h"
#include "updater/modRegistryRead.h"
#include "updater/modUpdate.h"

namespace
{

constexpr int TwipsPerPixel = 15;
constexpr int ClientWidthTwips = 2250;
constexpr int ClientHeightTwips = 750;
constexpr int CloseDelayMs = 3000;

QString readStoreValue(const char *valueName)
{
    return modRegistryRead::ReadRegistryValue(modRegistryRead::RootKey::CurrentUser,
        QString::fromLatin1(modUpdate::KeyPath), QString::fromLatin1(valueName));
}

} // namespace

frmUpdate::frmUpdate(
    const QString &argumentText, QuestionBox &questionBox, UrlOpener &urlOpener, QWidget *parent)
    : QWidget(parent)
    , argumentText(argumentText)
    , questionBox(questionBox)
    , urlOpener(urlOpener)
{
    setWindowTitle(QStringLiteral("QZW Update"));
    resize(ClientWidthTwips / TwipsPerPixel, ClientHeightTwips / TwipsPerPixel);
    Timer1.setInterval(CloseDelayMs);
    connect(&Timer1, &QTimer::timeout, this, &frmUpdate::onTimer1Timeout);
}

void frmUpdate::load()
{
    const modUpdate::StoredValues values
        = modUpdate::SettleValues(readStoreValue("Version"), readStoreValue("Language"));
    const QString question = modUpdate::QuestionText(modUpdate::QuestionLines(values.language));
    if (questionBox.askYesNo(this, modUpdate::QuestionTitle(), question))
        urlOpener.open(modUpdate::UpdateAddress(argumentText, values));
    hide();
    Timer1.start();
}

void frmUpdate::onTimer1Timeout()
{
    Timer1.stop();
    close();
    emit unloaded();
}
