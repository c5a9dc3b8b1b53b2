#pragma once
// The boss table's grid: a table view that reports the events the table's handlers
// need (editing started and finished, left button released, double click) and keeps
// the cursor as the current cell.

#include <QStyledItemDelegate>
#include <QTableView>

#include <functional>

namespace zorvane::app {

// Edits text cells in place and draws the use column's check box in the middle of its
// cell (where a click toggles it).
class BossGridDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // Where the check box of a check-box cell lies, in view coordinates.
    QRect checkBoxRect(const QStyleOptionViewItem& option, const QModelIndex& index) const;

    // The tooltip of a cell: its whole text when the cell is too narrow for it, and the
    // row's state with the legend of the looks. Empty for none.
    static QString toolTipFor(const QModelIndex& index, bool elided);
    // The boss's note by its name, shown under the name cell's tooltip; none when unset.
    using NoteOf = std::function<QString(const QString& boss)>;
    void setNoteOf(NoteOf noteOf) { m_noteOf = std::move(noteOf); }
    // toolTipFor with the note of the name cell's boss.
    QString fullToolTipFor(const QModelIndex& index, bool elided) const;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

signals:
    // Emitted before the editor widget exists.
    void editorAboutToOpen() const;
    // Emitted once the editor's text has been stored in the model.
    void textCommitted() const;
    // Emitted after the space key toggled a check box.
    void checkToggledByKey();
    // Emitted after any toggle of a check box (mouse or key), with the view's index.
    void checkToggled(const QModelIndex& index);

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

private:
    NoteOf m_noteOf;
};

class BossGrid final : public QTableView {
    Q_OBJECT
public:
    explicit BossGrid(QWidget* parent = nullptr);
    // The public edit(index) slot stays reachable beside the override below.
    using QTableView::edit;

    // The cursor as the table addresses it: table row (first data row = 1) and column,
    // -1 each when no cell holds the cursor.
    int cursorRow() const;
    int cursorColumn() const;
    // Puts the cursor on a table cell; a row below 1 removes the cursor.
    void setCursorCell(int row, int column);

    // The view may show the rows in another order than the table (sorted): these map a
    // view index to its table row (first data row = 1; -1 for none) and back.
    int tableRowOf(const QModelIndex& viewIndex) const;
    QModelIndex viewIndexOf(int tableRow, int column) const;

    // Draws and edits the cells, and words their tooltips.
    BossGridDelegate* cellDelegate() const { return m_delegate; }

    // Repaints the part of `column` on screen (nothing when the grid is hidden): texts that
    // moved on without the model saying so, such as countdowns.
    void repaintVisibleColumn(int column);

    // The column whose double click records a kill instead of opening an editor.
    void setDoubleClickColumn(int column) { m_doubleClickColumn = column; }

    // Said in the middle of the grid while it shows no row (a filter that matches nothing);
    // empty for nothing.
    void setEmptyText(const QString& text);
    QString emptyText() const { return m_emptyText; }

signals:
    void editStarted();
    void editFinished();
    void leftButtonReleased();
    // The check box under the cursor was toggled from the keyboard.
    void checkToggledByKey();
    void gridDoubleClicked();
    // Enter on the double-click column (a kill recorded from the keyboard).
    void killKeyPressed();
    // A check box was toggled; the table row it belongs to.
    void checkToggled(int tableRow);

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Folds or unfolds the group whose header row `index` is; false for a boss row.
    bool toggleGroup(const QModelIndex& index);
    // Folds or unfolds the boss with lines at `index`; false for any other row.
    bool toggleLines(const QModelIndex& index);
    static bool hasLines(const QModelIndex& index);
    static bool isLine(const QModelIndex& index);

    BossGridDelegate* m_delegate = nullptr;
    int m_doubleClickColumn = -1;
    bool m_committed = false;
    QString m_emptyText;
};

} // namespace zorvane::app
