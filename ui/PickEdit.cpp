#include "ui/PickEdit.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QStyleOptionComboBox>
#include <QWheelEvent>
#include <algorithm>

namespace
{

// The blank that a line edit keeps on each side of its text, in pixels.
constexpr int LineEditMargins = 2 * 2;
// Narrower letters than this are hard to read.
constexpr int MinimumStretch = 75;

} // namespace

PickEdit::PickEdit(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
}

void PickEdit::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    if (lineEdit())
        lineEdit()->setReadOnly(readOnly);
}

int PickEdit::widestEntry(const QFont &letters) const
{
    const QFontMetrics metrics(letters);
    int widest = 0;
    for (int entry = 0; entry < count(); ++entry)
        widest = std::max(widest, metrics.horizontalAdvance(itemText(entry)));
    return widest;
}

void PickEdit::condenseToFitEntries()
{
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect field
        = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    const int room = field.width() - LineEditMargins;

    // Glyph widths are rounded one by one, so the width does not shrink in proportion.
    QFont letters = font();
    int stretch = QFont::Unstretched;
    letters.setStretch(stretch);
    while (stretch > MinimumStretch && widestEntry(letters) > room)
        letters.setStretch(--stretch);
    setFont(letters);
}

void PickEdit::showPopup()
{
    if (!m_readOnly)
        QComboBox::showPopup();
}

void PickEdit::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const bool changesSelection = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp
        || key == Qt::Key_PageDown || key == Qt::Key_F4;
    if (m_readOnly && changesSelection) {
        event->ignore();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void PickEdit::wheelEvent(QWheelEvent *event)
{
    if (m_readOnly) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}
