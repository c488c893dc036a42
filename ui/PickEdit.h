#pragma once

#include <QComboBox>

// An editable pick list with a read-only switch: while read-only neither typing, the list,
// the wheel nor the arrow keys change its text, and it looks like a disabled control.
class PickEdit : public QComboBox
{
    Q_OBJECT

public:
    explicit PickEdit(QWidget *parent = nullptr);

    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return m_readOnly; }

    void showPopup() override;

    // Narrows the letters (never below three quarters) until the widest entry fits the text
    // field, so that a long entry is not cut off; entries that fit keep the normal letters.
    void condenseToFitEntries();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int widestEntry(const QFont &letters) const;
    void showLocked(bool locked);

    bool m_readOnly = false;
    QPalette m_unlockedColours;
};
