#include "ui/modFolder.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QResizeEvent>

namespace modFolder
{

namespace
{

// The status line: keeps the full path and shortens it again whenever its width changes.
class StatusLine : public QLabel
{
public:
    explicit StatusLine(QWidget *parent)
        : QLabel(parent)
    {
        setObjectName("statusLine");
        // The path must never widen the dialog: the line takes the width it is given.
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        setTextFormat(Qt::PlainText);
    }

    void showPath(const QString &path)
    {
        m_path = path;
        refresh();
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QLabel::resizeEvent(event);
        refresh();
    }

private:
    void refresh()
    {
        setText(StatusText(m_path, fontMetrics(), contentsRect().width()));
        setToolTip(text().isEmpty() ? QString() : QDir::toNativeSeparators(m_path));
    }

    QString m_path;
};

bool isInside(const QString &folder, const QString &root)
{
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    if (canonicalRoot.isEmpty() || canonicalFolder.isEmpty())
        return false;
    const QString rootWithSeparator
        = canonicalRoot.endsWith(QLatin1Char('/')) ? canonicalRoot : canonicalRoot + QLatin1Char('/');
    return canonicalFolder == canonicalRoot || canonicalFolder.startsWith(rootWithSeparator);
}

// A folder that is gone (a removed backup disk, a typo in its last part) opens the picker at
// the nearest folder above it that is still there, not somewhere unrelated.
QString nearestExistingFolder(const QString &folder)
{
    if (folder.isEmpty() || QDir::isRelativePath(folder))
        return QString();
    QString candidate = QDir::cleanPath(folder);
    while (!QFileInfo(candidate).isDir()) {
        const QString parent = QFileInfo(candidate).path();
        if (parent == candidate)
            return QString();
        candidate = parent;
    }
    return candidate;
}

QString startFolder(const QString &initialFolder, const QString &rootFolder)
{
    const QString initial = nearestExistingFolder(initialFolder);
    const bool rootUsable = !rootFolder.isEmpty() && QFileInfo(rootFolder).isDir();
    if (rootUsable && (initial.isEmpty() || !isInside(initial, rootFolder)))
        return rootFolder;
    return initial.isEmpty() ? QDir::homePath() : initial;
}

void addStatusLine(QFileDialog &dialog)
{
    auto *line = new StatusLine(&dialog);
    if (auto *grid = qobject_cast<QGridLayout *>(dialog.layout()))
        grid->addWidget(line, grid->rowCount(), 0, 1, grid->columnCount());
    else if (dialog.layout())
        dialog.layout()->addWidget(line);
    // With nothing selected, OK returns the folder shown; a selected entry replaces it.
    QObject::connect(&dialog, &QFileDialog::directoryEntered, line, &StatusLine::showPath);
    QObject::connect(&dialog, &QFileDialog::currentChanged, line, [line, &dialog](const QString &path) {
        line->showPath(path.isEmpty() ? dialog.directory().absolutePath() : path);
    });
    line->showPath(dialog.directory().absolutePath());
}

} // namespace

QString StatusText(const QString &path, const QFontMetrics &metrics, int width)
{
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return QString();
    const QString prefix = QString::fromLatin1(StatusPrefix);
    const QString shown = QDir::toNativeSeparators(path);
    const int room = std::max(0, width - metrics.horizontalAdvance(prefix));
    return prefix + metrics.elidedText(shown, Qt::ElideMiddle, room);
}

QString BrowseForFolder(QString &title, const QString &initialFolder, QWidget *owner, bool statusText,
    const QString &rootFolder, bool newStyle, bool includeFiles)
{
    if (title == QLatin1String("$") && statusText)
        title.clear();

    QFileDialog dialog(owner, title, startFolder(initialFolder, rootFolder));
    dialog.setObjectName("folderPicker");
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, !includeFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setSizeGripEnabled(newStyle);
    // Without this the dialog puts a title of its own in place of an empty one.
    dialog.setWindowTitle(title);
    if (statusText)
        addStatusLine(dialog);

    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return QString();
    return QDir::cleanPath(chosen.first());
}

} // namespace modFolder
