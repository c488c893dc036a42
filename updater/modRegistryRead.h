#pragma once

#include <QString>
#include <QVariant>
#include <memory>

class QSettings;

// The launcher's read side of the per-user store that TessaroLite writes at every start.
// A key path such as "Software\Ulvenor\Tessaro\Lite" names the organization ("Ulvenor"),
// the application ("Tessaro") and the group inside its store ("Lite"), which is where
// TessaroLite's QSettings keeps the values on every platform.
namespace modRegistryRead
{

// Only the current user's store exists for the launcher.
enum class RootKey { CurrentUser };

// An open key of the store. A default-constructed key is the closed handle: every read
// through it finds nothing.
class RegistryKey
{
public:
    RegistryKey();
    RegistryKey(RegistryKey &&other) noexcept;
    RegistryKey &operator=(RegistryKey &&other) noexcept;
    ~RegistryKey();

    // The closed handle when the path names no key or the store cannot be read.
    static RegistryKey open(RootKey root, const QString &keyPath);

    bool isOpen() const;
    // The stored value as the store hands it out; invalid when absent or closed.
    QVariant value(const QString &valueName) const;
    void close();

private:
    std::unique_ptr<QSettings> settings;
};

// The value's text by its kind: a text up to its first NUL; binary data as its first two
// bytes, a little-endian signed 16-bit number in decimal (missing bytes count as zero);
// anything else, and a missing value, as "".
QString QueryValueText(const RegistryKey &key, const QString &valueName);

// Opens the key, reads the value with QueryValueText and closes the key again.
QString ReadRegistryValue(RootKey root, const QString &keyPath, const QString &valueName);

} // namespace modRegistryRead
