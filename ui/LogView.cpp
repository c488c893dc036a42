#include "ui/LogView.h"

#include "engine/ActivityLog.h"
#include "ui/Accessibility.h"

#include <QAccessible>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

namespace
{

constexpr int TextMargin = 3;

} // namespace

LogView::LogView(QWidget *parent)
    : QAbstractItemView(parent)
{
    setSelectionBehavior(SelectRows);
    setVerticalScrollMode(ScrollPerItem);
    setHorizontalScrollMode(ScrollPerPixel);
    Accessibility::InstallInterfaces();
}

void LogView::setLog(ActivityLog *log)
{
    if (auto *shown = qobject_cast<ActivityLog *>(model()))
        disconnect(shown, &ActivityLog::selectedRowChanged, this, &LogView::follow);
    setModel(log);
    if (!log)
        return;
    connect(log, &ActivityLog::selectedRowChanged, this, &LogView::follow);
    follow(log->selectedRow());
}

int LogView::rowHeight() const
{
    if (m_rowHeight == 0)
        m_rowHeight = fontMetrics().height() + 2;
    return m_rowHeight;
}

int LogView::rowCount() const
{
    return model() ? model()->rowCount(rootIndex()) : 0;
}

// Whole rows only: a row cut by the lower edge is not in sight.
int LogView::rowsInSight() const
{
    return std::max(1, viewport()->height() / rowHeight());
}

bool LogView::rowInSight(int row, int rowsShown) const
{
    const int first = verticalScrollBar()->value();
    return row >= first && row < first + rowsShown;
}

// With ScrollPerItem the vertical bar counts rows, so a row's place is its number less the
// first row in sight.
int LogView::rowAt(int y) const
{
    return verticalScrollBar()->value() + y / rowHeight();
}

QRect LogView::visualRect(const QModelIndex &index) const
{
    if (!index.isValid() || index.parent() != rootIndex())
        return {};
    const int y = (index.row() - verticalScrollBar()->value()) * rowHeight();
    const int width = std::max(viewport()->width(), m_contentWidth);
    return {-horizontalOffset(), y, width, rowHeight()};
}

void LogView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid())
        return;
    QScrollBar *bar = verticalScrollBar();
    const int inSight = rowsInSight();
    const int row = index.row();
    if (hint == PositionAtTop)
        bar->setValue(row);
    else if (hint == PositionAtBottom)
        bar->setValue(row - inSight + 1);
    else if (hint == PositionAtCenter)
        bar->setValue(row - inSight / 2);
    else if (row < bar->value())
        bar->setValue(row);
    else if (row >= bar->value() + inSight)
        bar->setValue(row - inSight + 1);
}

QModelIndex LogView::indexAt(const QPoint &point) const
{
    const int row = rowAt(point.y());
    if (point.y() < 0 || row < 0 || row >= rowCount())
        return {};
    return model()->index(row, 0, rootIndex());
}

QModelIndex LogView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers)
{
    const int count = rowCount();
    if (count == 0)
        return {};
    const int inSight = rowsInSight();
    int row = currentIndex().isValid() ? currentIndex().row() : 0;
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
        --row;
        break;
    case MoveDown:
    case MoveNext:
        ++row;
        break;
    case MovePageUp:
        row -= inSight;
        break;
    case MovePageDown:
        row += inSight;
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = count - 1;
        break;
    default:
        break;
    }
    return model()->index(std::clamp(row, 0, count - 1), 0, rootIndex());
}

int LogView::horizontalOffset() const
{
    return horizontalScrollBar()->value();
}

int LogView::verticalOffset() const
{
    return verticalScrollBar()->value() * rowHeight();
}

bool LogView::isIndexHidden(const QModelIndex &) const
{
    return false;
}

void LogView::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    const QModelIndex first = indexAt(rect.topLeft());
    const QModelIndex last = indexAt(rect.bottomRight());
    if (!first.isValid() && !last.isValid()) {
        selectionModel()->select(QItemSelection(), command);
        return;
    }
    const QModelIndex from = first.isValid() ? first : last;
    const QModelIndex to = last.isValid() ? last : first;
    selectionModel()->select(QItemSelection(from, to), command);
}

QRegion LogView::visualRegionForSelection(const QItemSelection &selection) const
{
    QRegion region;
    for (const QItemSelectionRange &range : selection) {
        const QRect top = visualRect(model()->index(range.top(), 0, rootIndex()));
        const QRect bottom = visualRect(model()->index(range.bottom(), 0, rootIndex()));
        region += top.united(bottom);
    }
    return region;
}

// The current row stays in sight when the viewport shrinks, as it does when the horizontal
// bar appears under the newest line.
void LogView::updateGeometries()
{
    const int inSight = rowsInSight();
    const int current = currentIndex().isValid() ? currentIndex().row() : -1;
    const bool keepCurrent = current >= 0 && rowInSight(current, m_rowsShown);
    m_rowsShown = inSight;
    verticalScrollBar()->setRange(0, std::max(0, rowCount() - inSight));
    verticalScrollBar()->setPageStep(inSight);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0, std::max(0, m_contentWidth - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(fontMetrics().averageCharWidth());
    QAbstractItemView::updateGeometries();
    if (keepCurrent && !rowInSight(current, inSight))
        scrollTo(currentIndex());
}

void LogView::paintEvent(QPaintEvent *event)
{
    if (!model())
        return;
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const int first = rowAt(event->rect().top());
    const int last = std::min(rowCount() - 1, rowAt(event->rect().bottom()));
    for (int row = std::max(0, first); row <= last; ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        option.rect = visualRect(index);
        option.state = QStyle::State_Enabled;
        if (selectionModel() && selectionModel()->isSelected(index))
            option.state |= QStyle::State_Selected;
        if (index == currentIndex() && hasFocus())
            option.state |= QStyle::State_HasFocus;
        if (isActiveWindow())
            option.state |= QStyle::State_Active;
        itemDelegateForIndex(index)->paint(&painter, option, index);
        widen(index);
    }
}

// Only the lines that are shown are measured (measuring text is dear), so the horizontal bar
// reaches as far as the widest line shown so far.
void LogView::widen(const QModelIndex &index)
{
    const int width = fontMetrics().horizontalAdvance(index.data().toString()) + 2 * TextMargin;
    if (width <= m_contentWidth)
        return;
    m_contentWidth = width;
    rangeChanged();
}

// A new line costs the same however many came before it: nothing but the scroll range and the
// lines in sight change, once for all the lines of a round of events.
void LogView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QAbstractItemView::rowsInserted(parent, start, end);
    rangeChanged();
}

void LogView::rangeChanged()
{
    if (m_settlePending)
        return;
    m_settlePending = true;
    QMetaObject::invokeMethod(this, &LogView::settle, Qt::QueuedConnection);
}

// A writer selects two lines per file; the view follows once per round of events. The scroll
// waits for the range: before the new rows are in it, a scroll to the newest one would stop
// at the old end.
void LogView::follow(int row)
{
    m_followRow = row;
    m_followPending = true;
    rangeChanged();
}

void LogView::settle()
{
    m_settlePending = false;
    updateGeometries();
    if (m_followPending) {
        m_followPending = false;
        showFollowedRow();
    }
    viewport()->update();
}

void LogView::showFollowedRow()
{
    if (m_followRow < 0 || m_followRow >= rowCount()) {
        clearSelection();
        return;
    }
    const QModelIndex line = model()->index(m_followRow, 0, rootIndex());
    setCurrentIndex(line);
    scrollTo(line);
}

void LogView::reset()
{
    m_contentWidth = 0;
    QAbstractItemView::reset();
}

void LogView::rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end)
{
    QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
    rangeChanged();
}

void LogView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        m_rowHeight = 0;
    QAbstractItemView::changeEvent(event);
}

void LogView::resizeEvent(QResizeEvent *event)
{
    QAbstractItemView::resizeEvent(event);
    updateGeometries();
}

// A screen reader hears the line that the focus or the selection moved to; Qt's own lists say
// which child it is, the item view alone does not.
void LogView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QAbstractItemView::currentChanged(current, previous);
    if (!QAccessible::isActive() || !current.isValid() || !hasFocus())
        return;
    QAccessibleEvent event(this, QAccessible::Focus);
    event.setChild(current.row());
    QAccessible::updateAccessibility(&event);
}

void LogView::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    QAbstractItemView::selectionChanged(selected, deselected);
    if (!QAccessible::isActive() || selected.isEmpty())
        return;
    QAccessibleEvent event(this, QAccessible::Selection);
    event.setChild(selected.first().top());
    QAccessible::updateAccessibility(&event);
}
