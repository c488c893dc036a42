#include "fs/clsSysInfo.h"

#include <QDir>
#include <QGuiApplication>
#include <QInputDevice>
#include <QOperatingSystemVersion>
#include <QStandardPaths>
#include <QSysInfo>
#include <algorithm>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace
{

enum SpecialFolderId {
    Desktop = 0,
    Personal = 5,
    MyMusic = 13,
    MyVideo = 14,
    DesktopDirectory = 16,
    AppData = 26,
    LocalAppData = 28,
    MyPictures = 39,
    Profile = 40,
};

enum PlatformId { Win32s = 0, Windows9x = 1, WindowsNt = 2, NotWindows = -1 };

const QString Unknown = QStringLiteral("Unknown");

std::optional<QStandardPaths::StandardLocation> locationOf(int id)
{
    switch (id) {
    case Desktop:
    case DesktopDirectory:
        return QStandardPaths::DesktopLocation;
    case Personal:
        return QStandardPaths::DocumentsLocation;
    case MyMusic:
        return QStandardPaths::MusicLocation;
    case MyVideo:
        return QStandardPaths::MoviesLocation;
    case AppData:
        return QStandardPaths::GenericConfigLocation;
    case LocalAppData:
        return QStandardPaths::GenericDataLocation;
    case MyPictures:
        return QStandardPaths::PicturesLocation;
    case Profile:
        return QStandardPaths::HomeLocation;
    default:
        return std::nullopt;
    }
}

QString withoutTrailingSeparator(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

QString ntName(int major, int minor)
{
    if (major == 4)
        return QStringLiteral("Windows NT");
    if (major == 5 && minor == 0)
        return QStringLiteral("Windows 2000");
    if (major == 5 && minor == 1)
        return QStringLiteral("Windows XP");
    if (major == 6 && minor == 0)
        return QStringLiteral("Windows VISTA");
    if (major == 6 && minor == 1)
        return QStringLiteral("Windows 7");
    if (major == 6 && minor == 2)
        return QStringLiteral("Windows 8");
    return Unknown;
}

QString windows98Name(qint16 build)
{
    return build == 1998 ? QStringLiteral("Windows 98") : QStringLiteral("Windows 98 SE");
}

QString windows9xName(int major, int minor, qint16 build)
{
    if (major > 4 || (major == 4 && minor == 10))
        return windows98Name(build);
    if (major == 4 && minor == 0)
        return QStringLiteral("Windows 95");
    if (major == 4 && minor == 90)
        return QStringLiteral("Windows ME");
    return Unknown;
}

struct UserAccount {
    QByteArray name;
    uid_t uid = 0;
    gid_t gid = 0;
};

// The account by its number or by its name, from the reentrant lookups, which share no buffer.
std::optional<UserAccount> lookUpAccount(const QString &userName)
{
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd *found = nullptr;
    const QByteArray name = userName.toLocal8Bit();
    const int code = userName.isEmpty()
        ? ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found)
        : ::getpwnam_r(name.constData(), &entry, buffer.data(), buffer.size(), &found);
    if (code != 0 || !found)
        return std::nullopt;
    return UserAccount {QByteArray(found->pw_name), found->pw_uid, found->pw_gid};
}

std::vector<gid_t> groupsOf(const UserAccount &account)
{
    int count = 32;
    std::vector<gid_t> groups(count);
    while (::getgrouplist(account.name.constData(), account.gid, groups.data(), &count) < 0)
        groups.resize(count *= 2);
    groups.resize(count);
    return groups;
}

bool isAdminGroup(gid_t gid)
{
    std::vector<char> buffer(16384);
    group entry {};
    group *found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return false;
    const QByteArray name(found->gr_name);
    return name == "sudo" || name == "wheel" || name == "admin";
}

} // namespace

QString clsSysInfo::GetSpecialFolder(int CSIDL) const
{
    const auto location = locationOf(CSIDL);
    if (!location)
        return {};
    return withoutTrailingSeparator(QStandardPaths::writableLocation(*location));
}

bool clsSysInfo::IsAdmin(const QString &UserName) const
{
    const std::optional<UserAccount> account = lookUpAccount(UserName);
    if (!account)
        return false;
    if (account->uid == 0)
        return true;
    const std::vector<gid_t> groups = groupsOf(*account);
    return std::any_of(groups.begin(), groups.end(), isAdminGroup);
}

QString clsSysInfo::Get_OS() const
{
    if (QSysInfo::kernelType() != QLatin1String("winnt"))
        return osName(NotWindows, 0, 0, 0);
    const QOperatingSystemVersion version = QOperatingSystemVersion::current();
    return osName(WindowsNt, version.majorVersion(), version.minorVersion(), version.microVersion());
}

bool clsSysInfo::MouseExists() const
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;
    const auto devices = QInputDevice::devices();
    return std::any_of(devices.begin(), devices.end(),
        [](const QInputDevice *device) { return device->type() == QInputDevice::DeviceType::Mouse; });
}

QString clsSysInfo::osName(int platformId, int major, int minor, int build)
{
    const auto build16 = static_cast<qint16>(build & 0xFFFF);
    switch (platformId) {
    case Win32s:
        return QStringLiteral("Windows 32s");
    case Windows9x:
        return windows9xName(major, minor, build16);
    case WindowsNt:
        return ntName(major, minor);
    default:
        return Unknown;
    }
}
