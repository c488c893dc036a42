#include "ui/modAppIcon.h"

#include "ui/Seams.h"

#include <QApplication>
#include <QDir>
#include <QHash>
#include <QPixmap>
#include <QWidget>
#include <cerrno>
#include <cstring>

// The resources live in this static library; the linker keeps them only when asked for.
static void initIconResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(TessaroLite);
        return true;
    }();
    Q_UNUSED(done);
}

namespace modAppIcon
{

namespace
{

// Parents are walked at most this far, as a guard against a cycle.
constexpr int MaxOwnerSteps = 40;

QWidget *topOfOwnerChain(QWidget *window)
{
    QWidget *top = window;
    for (int step = 0; step < MaxOwnerSteps; ++step) {
        QWidget *next = top->parentWidget() ? top->parentWidget()->window() : nullptr;
        if (!next || next == top)
            break;
        top = next;
    }
    return top;
}

void reportMissingIcon(QWidget *window, const char *leadIn)
{
    Seams::showMessage(
        window, QString::fromLatin1(ProgramTitle), QString::fromLatin1(leadIn) + LastDllErrorText());
}

} // namespace

QIcon PictureFile(const QString &path)
{
    static QHash<QString, QIcon> pictures;
    auto cached = pictures.constFind(path);
    if (cached == pictures.constEnd()) {
        const QPixmap picture(path);
        if (picture.isNull())
            return QIcon();
        cached = pictures.insert(path, QIcon(picture));
    }
    return *cached;
}

QIcon LoadIconResource(const QString &iconName)
{
    initIconResources();
    const QDir folder(QStringLiteral(":/icons/") + iconName);
    QIcon icon;
    for (const QString &file : folder.entryList(QDir::Files))
        icon.addFile(folder.filePath(file));
    return icon;
}

void SetIcon(QWidget *window, const QString &iconName, bool setAsApplicationIcon)
{
    QWidget *top = topOfOwnerChain(window);
    const QIcon icon = LoadIconResource(iconName);
    if (icon.isNull()) {
        errno = ENOENT;
        reportMissingIcon(window, "Error in SetIcon calling LoadImage for large icon, ");
        errno = ENOENT;
        reportMissingIcon(window, "Error in SetIcon calling LoadImage for small icon, ");
    }
    window->setWindowIcon(icon);
    if (setAsApplicationIcon) {
        top->setWindowIcon(icon);
        QApplication::setWindowIcon(icon);
    }
}

QString LastDllErrorText()
{
    const int code = errno;
    if (code == 0)
        return QString();
    return QStringLiteral("Error Number: ") + QString::number(code)
        + QStringLiteral("\r\nError Description: ") + QString::fromLocal8Bit(std::strerror(code));
}

} // namespace modAppIcon
