#pragma once

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

class LogView;

// The log as a screen reader sees it: a list whose children are its lines, each an item with
// the line's text, the selected one (the newest after every writer) marked so. The items are
// made when a reader asks for them, one by one, so that a log of 100 000 lines costs nothing
// until somebody reads it; lines removed from the log take their items with them.
class LogViewAccessible : public QAccessibleWidget, public QAccessibleTableInterface
{
public:
    explicit LogViewAccessible(LogView *view);
    ~LogViewAccessible() override;

    // ---- QAccessibleInterface --------------------------------------------------------------
    void *interface_cast(QAccessible::InterfaceType type) override;
    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *focusChild() const override;

    // ---- QAccessibleTableInterface: one column, a row per line -----------------------------
    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }
    QAccessibleInterface *cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface *> selectedCells() const override;
    QString columnDescription(int) const override { return {}; }
    QString rowDescription(int) const override { return {}; }
    int columnCount() const override { return 1; }
    int rowCount() const override;
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override;
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override;
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int) override { return false; }
    bool unselectRow(int row) override;
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent *event) override;

    LogView *view() const;

private:
    // Forgets the items of the rows from this one on.
    void dropItemsFrom(int row);

    mutable QHash<int, QAccessible::Id> m_items;
};

// One line of the log: its text is read from the log whenever it is asked for.
class LogLineAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface
{
public:
    LogLineAccessible(LogView *view, int row);

    // ---- QAccessibleInterface --------------------------------------------------------------
    bool isValid() const override;
    QObject *object() const override { return nullptr; }
    QWindow *window() const override;
    QAccessibleInterface *focusChild() const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override;
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text type) const override;
    void setText(QAccessible::Text, const QString &) override { }
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    // ---- QAccessibleTableCellInterface -----------------------------------------------------
    bool isSelected() const override;
    QList<QAccessibleInterface *> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface *> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return 0; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override { return parent(); }

private:
    QModelIndex index() const;

    QPointer<LogView> m_view;
    int m_row;
};
