#pragma once

#include <QString>
#include <QUrl>
#include <functional>
#include <utility>

class QSystemTrayIcon;
class QWidget;

// What the windows ask of the outside world, each through one replaceable function: the real
// thing by default, a stand-in in tests. Every window of the program calls these, never
// QMessageBox, QDesktopServices or QFileDialog directly, so that a test can answer them.
//
//     Seams::askYesNo.replace([](QWidget *, const QString &, const QString &) { return true; });
//     ...
//     Seams::askYesNo.restore();
//
// or, for the length of a scope, Seams::Override guard(Seams::askYesNo, standIn);
namespace Seams
{

template <typename Signature> class Seam
{
public:
    using Function = std::function<Signature>;

    explicit Seam(Function real)
        : m_real(std::move(real))
    {
    }

    template <typename... Args> auto operator()(Args &&...args) const
    {
        return (m_standIn ? m_standIn : m_real)(std::forward<Args>(args)...);
    }

    void replace(Function standIn) { m_standIn = std::move(standIn); }
    void restore() { m_standIn = nullptr; }

private:
    Function m_real;
    Function m_standIn;
};

// Replaces a seam for the lifetime of the guard.
template <typename Signature> class Override
{
public:
    Override(Seam<Signature> &seam, typename Seam<Signature>::Function standIn)
        : m_seam(seam)
    {
        m_seam.replace(std::move(standIn));
    }
    ~Override() { m_seam.restore(); }
    Override(const Override &) = delete;
    Override &operator=(const Override &) = delete;

private:
    Seam<Signature> &m_seam;
};

// A question with the buttons Yes and No and no icon; true when Yes was chosen.
using AskYesNoSignature = bool(QWidget *parent, const QString &title, const QString &text);
extern Seam<AskYesNoSignature> askYesNo;

// A report with an OK button and no icon.
using ShowMessageSignature = void(QWidget *parent, const QString &title, const QString &text);
extern Seam<ShowMessageSignature> showMessage;

// Hands an address (web page, mail) to the desktop; false when nothing could open it.
using OpenUrlSignature = bool(const QUrl &url);
extern Seam<OpenUrlSignature> openUrl;

// A desktop notification from the icon in the notification area, marked as a warning.
using NotifySignature = void(QSystemTrayIcon &icon, const QString &title, const QString &text);
extern Seam<NotifySignature> notify;

// Whether the desktop has a notification area to put an icon into.
using TrayAvailableSignature = bool();
extern Seam<TrayAvailableSignature> trayAvailable;

// What the desktop offers the notification area, asked once when the tray icon is made (as
// Qt settles then where its icon goes).
struct DesktopFacts {
    // The window hears that it was minimised (X11); a native Wayland window never does.
    bool minimiseSeen = true;
    // The notification area is a StatusNotifier one, reached over D-Bus.
    bool statusNotifierTray = false;
    // A notification server is on the session bus.
    bool notificationServer = false;
};
using DesktopFactsSignature = DesktopFacts();
extern Seam<DesktopFactsSignature> desktopFacts;

// The folder picker: the arguments of modFolder::BrowseForFolder; the chosen folder, or
// empty text when the user cancelled.
struct FolderRequest {
    QString title;
    QString initialFolder;
    QWidget *owner = nullptr;
    bool statusText = true;
    QString rootFolder;
    bool newStyle = true;
    bool includeFiles = false;
};
using PickFolderSignature = QString(const FolderRequest &request);
extern Seam<PickFolderSignature> pickFolder;

} // namespace Seams
