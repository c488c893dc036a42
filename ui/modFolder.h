#pragma once

#include <QString>

class QFontMetrics;
class QWidget;

// The folder picker of the two folder buttons: Qt's own folder dialog, with a status line
// under the view that names the folder that OK would return.
namespace modFolder
{

// Fixed text, not a language text.
inline constexpr const char *StatusPrefix = "Auswahl: ";

// Shows the picker modally over owner and returns the chosen folder's full path, or empty text
// when the user cancels. A title of exactly "$" with the status line on becomes empty text,
// also in the caller's variable. Without a root folder the whole file system can be browsed;
// with one, an initial folder outside it starts the dialog at the root instead. newStyle
// gives a resizable dialog; includeFiles lists files beside the folders.
QString BrowseForFolder(QString &title, const QString &initialFolder, QWidget *owner, bool statusText,
    const QString &rootFolder = QString(), bool newStyle = true, bool includeFiles = false);

// The status line for a selected path: the prefix and the path, the path shortened in its
// middle so that the whole line fits into width pixels; empty text when the path is no
// existing folder.
QString StatusText(const QString &path, const QFontMetrics &metrics, int width);

} // namespace modFolder
