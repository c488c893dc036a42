#pragma once

#include <QString>
#include <stdexcept>

namespace modFSO
{

// A failure that a file-system query hands to its caller: the OS error code and a
// readable description (GetVolumeLabel, listing a folder, reading a file's size).
class FsError : public std::runtime_error
{
public:
    FsError(int code, const QString &description)
        : std::runtime_error(description.toStdString())
        , m_code(code)
        , m_description(description)
    {
    }

    int code() const { return m_code; }
    QString description() const { return m_description; }

private:
    int m_code;
    QString m_description;
};

} // namespace modFSO
