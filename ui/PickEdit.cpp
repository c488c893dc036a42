#include "ui/PickEdit.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QStyleOptionComboBox>
#include <QStylePainter>
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
    if (readOnly == m_readOnly)
        return;
    m_readOnly = readOnly;
    if (lineEdit()) {
        lineEdit()->setReadOnly(readOnly);
        showLocked(readOnly);
    }
    update();
}

// A locked list that looked editable (white field, live arrow) would invite typing that
// does nothing: it takes the disabled colours, as the locked controls beside it do.
void PickEdit::showLocked(bool locked)
{
    QLineEdit *field = lineEdit();
    if (!locked) {
        field->setPalette(m_unlockedColours);
        return;
    }
    m_unlockedColours = field->palette();
    QPalette grey = m_unlockedColours;
    for (const QPalette::ColorRole role : {QPalette::Base, QPalette::Text}) {
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
            grey.setColor(group, role, grey.color(QPalette::Disabled, role));
    }
    field->setPalette(grey);
}

void PickEdit::paintEvent(QPaintEvent *event)
{
    if (!m_readOnly) {
        QComboBox::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.state &= ~(QStyle::State_Enabled | QStyle::State_MouseOver);
    option.palette.setCurrentColorGroup(QPalette::Disabled);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
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
