#pragma once

#include <QAbstractItemView>

// A list of one-line texts of equal height, such as the activity log. Where a line is follows
// from its row alone, so a new line, a scroll to the newest one and a repaint cost the same
// at 100 000 lines as at 10: the view lays nothing out but the lines in sight. (QListView lays
// out every line again whenever lines were added, also with uniform item sizes.)
class LogView : public QAbstractItemView
{
    Q_OBJECT

public:
    explicit LogView(QWidget *parent = nullptr);

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

private:
    int rowHeight() const;
    int rowCount() const;
    int rowAt(int y) const;
    void widen(const QModelIndex &index);
    void rangeChanged();

    // The widest line shown so far, so that the horizontal bar can reach the end of long lines
    // without measuring every line.
    int m_contentWidth = 0;
    mutable int m_rowHeight = 0;
    bool m_rangePending = false;
};
