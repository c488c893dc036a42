#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>

// The per-user store as TessaroLite writes it, emptied for every test (all tests of one
// process share the private configuration folder of the test main).
class UpdaterStore
{
public:
    UpdaterStore() { clear(); }
    ~UpdaterStore() { clear(); }

    void set(const QString &name, const QVariant &value)
    {
        QSettings settings(QStringLiteral("Ulvenor"), QStringLiteral("Tessaro"));
        settings.beginGroup(QStringLiteral("Lite"));
        settings.setValue(name, value);
        settings.sync();
    }

    void clear()
    {
        QSettings settings(QStringLiteral("Ulvenor"), QStringLiteral("Tessaro"));
        settings.clear();
        settings.sync();
    }
};
