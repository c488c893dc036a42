#pragma once

#include <QString>

// Answers about the machine the program runs on. It holds nothing; start-up asks it for the
// folder that carries the settings.
class clsSysInfo
{
public:
    // The folder behind a shell special-folder id (26: the per-user configuration folder),
    // without a trailing separator; empty text for an id without a counterpart here.
    QString GetSpecialFolder(int CSIDL) const;

    // True for root and for members of the groups sudo, wheel or admin; an empty name asks
    // about the user running the program. Unknown users are no administrators.
    bool IsAdmin(const QString &UserName = {}) const;

    // The name of the running Windows version, "Unknown" on every other system.
    QString Get_OS() const;

    // Whether the window system reports a mouse; false without a graphical application.
    bool MouseExists() const;

    // The name of a Windows version record: platform id, major, minor and build number (of
    // which only the low 16 bits count, taken as signed).
    static QString osName(int platformId, int major, int minor, int build);
};
