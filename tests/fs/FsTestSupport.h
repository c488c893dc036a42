#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <ostream>

// Readable failure messages for texts and lists of texts.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray &bytes, std::ostream *out)
{
    *out << '"' << bytes.toStdString() << '"';
}

namespace fstest
{

void writeFile(const QString &path, const QByteArray &data);
QByteArray readFile(const QString &path);

// Every entry of a folder, hidden ones included, sorted: what a leftover check must see.
QStringList allEntries(const QString &folder);

// Bytes that differ from position to position, so that a shifted or cut copy shows.
QByteArray patternBytes(qint64 size);

// A name of more than 255 bytes, which no Linux file system accepts.
QString overlongName();

// A small tmpfs on a fresh folder. Only root may mount; mounted() tells whether it worked.
class TmpfsMount
{
public:
    explicit TmpfsMount(const QByteArray &size = "4m");
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount &) = delete;
    TmpfsMount &operator=(const TmpfsMount &) = delete;

    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace fstest

#define FSTEST_REQUIRE_TMPFS(mount)                                                                          \
    if (!(mount).mounted())                                                                                  \
    GTEST_SKIP() << "needs a tmpfs of its own: run as root with permission to mount"
