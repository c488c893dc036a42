#include "config/Settings.h"

#include "config/modGlobal.h"
#include "config/modIniHandler.h"

#include <algorithm>

namespace Settings
{

namespace
{

const QString Section = QStringLiteral("Options");
// Every reader but the folders' passes a buffer of 256 characters.
constexpr int ReadSize = 256;

constexpr bool keyNamesInOrder()
{
    for (std::size_t i = 0; i < KeyNames.size(); ++i) {
        if (static_cast<std::size_t>(KeyNames[i].key) != i)
            return false;
    }
    return true;
}
static_assert(keyNamesInOrder(), "KeyNames must follow the order of Key");

std::optional<double> number(const QString &text)
{
    bool isNumber = false;
    const double value = text.trimmed().toDouble(&isNumber);
    return isNumber ? std::optional<double>(value) : std::nullopt;
}

QString rawText(const Reading &reading)
{
    const int size = reading.rule == Rule::WholeText ? modIniHandler::WholeValue : ReadSize;
    return modIniHandler::ReadSetting(Section, name(reading.key), QLatin1String(reading.defaultValue), size);
}

bool isOnText(Rule rule, const QString &text)
{
    switch (rule) {
    case Rule::TextIsOne:
        return text == QLatin1String("1");
    case Rule::NumberIsOne:
        return number(text) == 1.0;
    case Rule::NumberIsNotZero:
        return number(text) != 0.0;
    case Rule::NumberIsZero: {
        const std::optional<double> value = number(text);
        return !value || *value == 0.0;
    }
    default:
        Q_ASSERT_X(false, "Settings::isOn", "the reading is no switch");
        return false;
    }
}

QLatin1String choiceWord(Rule rule, bool on)
{
    Q_ASSERT_X(rule == Rule::CopyOrMove || rule == Rule::ZeroOrOne, "Settings::choice", "no two-word value");
    if (rule == Rule::CopyOrMove)
        return QLatin1String(on ? "Move" : "Copy");
    return QLatin1String(on ? "1" : "0");
}

} // namespace

QString name(Key key)
{
    return QLatin1String(KeyNames[static_cast<std::size_t>(key)].name);
}

QString read(const Reading &reading)
{
    const QString text = rawText(reading);
    return reading.rule == Rule::LanguageName ? modGlobal::LanguageName(text) : text;
}

bool isOn(const Reading &reading)
{
    return isOnText(reading.rule, rawText(reading));
}

std::optional<bool> choice(const Reading &reading)
{
    const QString text = rawText(reading);
    if (text == choiceWord(reading.rule, true))
        return true;
    if (text == choiceWord(reading.rule, false))
        return false;
    return std::nullopt;
}

void write(Key key, const QString &value)
{
    modIniHandler::WriteSetting(Section, name(key), value);
}

void writeSwitch(Key key, bool on)
{
    write(key, on ? QStringLiteral("1") : QStringLiteral("0"));
}

void writeChoice(const Reading &reading, bool on)
{
    write(reading.key, choiceWord(reading.rule, on));
}

FreeSpaceCheck freeSpaceCheckWanted()
{
    return freeSpaceCheckWanted(read(FreeSpaceCheckOfRun));
}

FreeSpaceCheck freeSpaceCheckWanted(const QString &storedText)
{
    FreeSpaceCheck check;
    check.wanted = isOnText(FreeSpaceCheckOfRun.rule, storedText);
    if (!number(storedText))
        check.unreadable = name(Key::CheckDestination) + QLatin1String(" is not a number: \"") + storedText
            + QLatin1Char('"');
    return check;
}

void storeLanguage(const QString &language)
{
    write(Key::Language, language);
}

int settleSeconds()
{
    return settleSecondsOf(read(SettleTime));
}

int settleSecondsOf(const QString &storedText)
{
    bool isNumber = false;
    const qlonglong seconds = storedText.trimmed().toLongLong(&isNumber);
    if (!isNumber)
        return QString::fromLatin1(SettleTime.defaultValue).toInt();
    return int(std::clamp<qlonglong>(seconds, 0, MostSettleSeconds));
}

} // namespace Settings
