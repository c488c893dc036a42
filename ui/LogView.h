#pragma once

#include <QAbstractItemView>

class ActivityLog;

// A list of one-line texts of equal height, such as the activity log. Where a line is follows
// from its row alone, so a new line, a scroll to the newest one and a repaint cost the same
// at 100 000 lines as at 10: the view lays nothing out but the lines in sight. (QListView lays
// out every line again whenever lines were added, also with uniform item sizes.)
//
// Shown with an activity log, the view follows the log's selected line: after every writer
// the newest line is selected and in sight, also once the horizontal bar takes room from it.
class LogView : public QAbstractItemView
{
    Q_OBJECT

public:
    explicit LogView(QWidget *parent = nullptr);

    // Shows the log's lines and follows its selected line.
    void setLog(ActivityLog *log);

    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;
    void reset() override;

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex &index) const override;
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    void updateGeometries() override;
    void paintEvent(QPaintEvent *event) override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override;

private:
    int rowHeight() const;
    int rowCount() const;
    int rowsInSight() const;
    int rowAt(int y) const;
    bool rowInSight(int row, int rowsShown) const;
    void widen(const QModelIndex &index);
    void follow(int row);
    void rangeChanged();
    void settle();
    void showFollowedRow();

    // The widest line shown so far, so that the horizontal bar can reach the end of long lines
    // without measuring every line.
    int m_contentWidth = 0;
    mutable int m_rowHeight = 0;
    // How many whole rows the viewport held when the range was last set.
    int m_rowsShown = 0;
    bool m_settlePending = false;
    // The row to select and show once the range is settled; -1 clears the selection.
    int m_followRow = -1;
    bool m_followPending = false;
};
