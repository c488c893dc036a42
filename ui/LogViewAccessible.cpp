#include "ui/LogViewAccessible.h"

#include "ui/LogView.h"

#include <QItemSelectionModel>
#include <algorithm>

LogViewAccessible::LogViewAccessible(LogView *view)
    : QAccessibleWidget(view, QAccessible::List)
{
}

LogViewAccessible::~LogViewAccessible()
{
    dropItemsFrom(0);
}

LogView *LogViewAccessible::view() const
{
    return static_cast<LogView *>(widget());
}

void *LogViewAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

// The lines are the children; the scroll bars and the viewport are the view's own business.
int LogViewAccessible::childCount() const
{
    return rowCount();
}

int LogViewAccessible::rowCount() const
{
    const QAbstractItemModel *lines = view()->model();
    return lines ? lines->rowCount(view()->rootIndex()) : 0;
}

QAccessibleInterface *LogViewAccessible::child(int index) const
{
    if (index < 0 || index >= rowCount())
        return nullptr;
    const auto known = m_items.constFind(index);
    if (known != m_items.constEnd())
        return QAccessible::accessibleInterface(*known);
    auto *item = new LogLineAccessible(view(), index);
    m_items.insert(index, QAccessible::registerAccessibleInterface(item));
    return item;
}

int LogViewAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    const auto *item = dynamic_cast<const LogLineAccessible *>(child);
    if (!item || item->parent() != this || !item->isValid())
        return -1;
    return item->rowIndex();
}

QAccessibleInterface *LogViewAccessible::childAt(int x, int y) const
{
    const QPoint point = view()->viewport()->mapFromGlobal(QPoint(x, y));
    if (!view()->viewport()->rect().contains(point))
        return nullptr;
    const QModelIndex line = view()->indexAt(point);
    return line.isValid() ? child(line.row()) : nullptr;
}

QAccessibleInterface *LogViewAccessible::focusChild() const
{
    const QModelIndex current = view()->currentIndex();
    if (!view()->hasFocus() || !current.isValid())
        return nullptr;
    return child(current.row());
}

QAccessibleInterface *LogViewAccessible::cellAt(int row, int column) const
{
    return column == 0 ? child(row) : nullptr;
}

int LogViewAccessible::selectedCellCount() const
{
    return selectedRowCount();
}

QList<QAccessibleInterface *> LogViewAccessible::selectedCells() const
{
    QList<QAccessibleInterface *> cells;
    for (int row : selectedRows())
        cells.append(child(row));
    return cells;
}

int LogViewAccessible::selectedRowCount() const
{
    return static_cast<int>(selectedRows().size());
}

QList<int> LogViewAccessible::selectedRows() const
{
    QList<int> rows;
    if (const QItemSelectionModel *selection = view()->selectionModel()) {
        for (const QModelIndex &line : selection->selectedRows())
            rows.append(line.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool LogViewAccessible::isRowSelected(int row) const
{
    const QItemSelectionModel *selection = view()->selectionModel();
    return selection && row >= 0 && row < rowCount() && selection->isRowSelected(row, view()->rootIndex());
}

bool LogViewAccessible::selectRow(int row)
{
    if (row < 0 || row >= rowCount())
        return false;
    view()->setCurrentIndex(view()->model()->index(row, 0, view()->rootIndex()));
    return true;
}

bool LogViewAccessible::unselectRow(int row)
{
    if (!isRowSelected(row))
        return false;
    view()->selectionModel()->select(
        view()->model()->index(row, 0, view()->rootIndex()), QItemSelectionModel::Deselect);
    return true;
}

// Lines are appended at the end and removed from the end, so the items of the rows before a
// change stay whom they were; the others are dropped and made anew when asked for.
void LogViewAccessible::modelChange(QAccessibleTableModelChangeEvent *event)
{
    switch (event->modelChangeType()) {
    case QAccessibleTableModelChangeEvent::ModelReset:
        dropItemsFrom(0);
        break;
    case QAccessibleTableModelChangeEvent::RowsInserted:
    case QAccessibleTableModelChangeEvent::RowsRemoved:
        dropItemsFrom(std::max(0, event->firstRow()));
        break;
    default:
        break;
    }
}

void LogViewAccessible::dropItemsFrom(int row)
{
    for (auto item = m_items.begin(); item != m_items.end();) {
        if (item.key() < row) {
            ++item;
            continue;
        }
        QAccessible::deleteAccessibleInterface(item.value());
        item = m_items.erase(item);
    }
}

// ---- one line ----------------------------------------------------------------------------------

LogLineAccessible::LogLineAccessible(LogView *view, int row)
    : m_view(view)
    , m_row(row)
{
}

QModelIndex LogLineAccessible::index() const
{
    if (!m_view || !m_view->model())
        return {};
    return m_view->model()->index(m_row, 0, m_view->rootIndex());
}

bool LogLineAccessible::isValid() const
{
    return index().isValid();
}

QWindow *LogLineAccessible::window() const
{
    return m_view ? m_view->window()->windowHandle() : nullptr;
}

QAccessibleInterface *LogLineAccessible::parent() const
{
    return m_view ? QAccessible::queryAccessibleInterface(m_view.data()) : nullptr;
}

QString LogLineAccessible::text(QAccessible::Text type) const
{
    return type == QAccessible::Name ? index().data(Qt::DisplayRole).toString() : QString();
}

QRect LogLineAccessible::rect() const
{
    const QModelIndex line = index();
    if (!line.isValid())
        return {};
    const QRect place = m_view->visualRect(line);
    return QRect(m_view->viewport()->mapToGlobal(place.topLeft()), place.size());
}

bool LogLineAccessible::isSelected() const
{
    const QModelIndex line = index();
    return line.isValid() && m_view->selectionModel() && m_view->selectionModel()->isSelected(line);
}

QAccessible::State LogLineAccessible::state() const
{
    QAccessible::State state;
    const QModelIndex line = index();
    if (!line.isValid()) {
        state.invalid = true;
        return state;
    }
    state.selectable = true;
    state.selected = isSelected();
    state.focusable = true;
    state.focused = m_view->hasFocus() && m_view->currentIndex() == line;
    state.readOnly = true;
    if (!m_view->isVisible())
        state.invisible = true;
    if (!m_view->viewport()->rect().intersects(m_view->visualRect(line)))
        state.offscreen = true;
    return state;
}

void *LogLineAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableCellInterface)
        return static_cast<QAccessibleTableCellInterface *>(this);
    return nullptr;
}
