#pragma once

#include "config/Settings.h"

#include <QElapsedTimer>
#include <QString>

// One reading of the settings table (config/Settings.h), read anew whenever the file may have
// changed since it was read last. The file is looked at (one stat) after every expire() and
// otherwise at most every few milliseconds; it is opened and parsed again when its identity,
// size or times differ from the last read, when the settings file is another one, or when it
// was modified so shortly before the last read that a second write within the same timestamp
// tick could go unseen.
//
// This program writes its settings only from event handlers, so a caller that expires the
// value whenever it let events run sees its own changes at once, and those of other
// processes within a few milliseconds.
class FreshSetting
{
public:
    explicit FreshSetting(const Settings::Reading &reading);

    // The stored text as Settings::read gives it.
    QString value();
    // The next value() looks at the file again.
    void expire() { m_lookedAt.invalidate(); }

private:
    struct FileState {
        QString path;
        bool exists = false;
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modifiedNs = 0;
        qint64 changedNs = 0;

        bool operator==(const FileState &other) const = default;
    };

    static FileState stateOf(const QString &path);
    bool mayHaveChangedUnseen(const FileState &state) const;

    Settings::Reading m_reading;
    QString m_value;
    FileState m_readState;
    qint64 m_readAtNs = 0;
    QElapsedTimer m_lookedAt;
    bool m_hasValue = false;
};
