#pragma once
// The compact overlay: a small frameless window that stays on top of the game and lists
// the next bosses by time left, with their countdowns in the grid's looks. It reads the
// grid's model and repaints when the model says the tick has counted; it has no timer.
// It can be dragged and resized, and made click-through, so clicks reach the game below.

#include <QPointer>
#include <QWidget>

#include <vector>

class QAbstractItemModel;
class QSizeGrip;

namespace zorvane::schedule {
class LineBoard;
}

namespace zorvane::app {

enum class RowLook;

class Overlay final : public QWidget {
    Q_OBJECT
public:
    // `model` is the grid's model (BossTableModel); it must outlive the overlay or be
    // destroyed first (the overlay then shows nothing).
    explicit Overlay(QAbstractItemModel* model, QWidget* parent = nullptr);

    // The bosses' lines (nullptr: none): a boss with lines is listed as its soonest line. The
    // board must outlive the overlay.
    void setLineBoard(const schedule::LineBoard* board);
    // Reads the rows again (the board's lines changed: a kill, an undo).
    void refresh();

    // How many bosses the list shows (at least 1).
    void setRowLimit(int rows);
    int rowLimit() const { return m_rowLimit; }
    // Makes the overlay as tall as rowLimit rows need (the player chose a new number) and
    // tells geometryChosen.
    void fitRows();
    // The height that shows `rows` rows.
    static int heightForRows(int rows);
    // Clicks pass through to the window below; the overlay can then only be moved or
    // closed from the main window, the tray or the shortcut.
    void setClickThrough(bool on);
    bool clickThrough() const { return m_clickThrough; }

    struct Entry {
        QString name;
        QString countdown;
        qint64 remainingSeconds = 0;
        RowLook look;
        // Where the boss stands by its rule (a schedule::SpawnPhase), -1 before a pass.
        int spawnPhase = -1;
        double spawnFraction = 0;
    };
    // What the list shows now: checked rows with a count (a boss with lines: its soonest
    // line), fewest seconds left first (the table's order among equals), at most rowLimit.
    const std::vector<Entry>& entries() const { return m_entries; }

signals:
    // The user moved or resized the overlay (at the end of the drag).
    void geometryChosen(const QRect& geometry);
    // Chosen in the overlay's own right-click menu.
    void clickThroughRequested(bool on);
    void rowLimitRequested(int rows);
    void hideRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QAbstractItemModel> m_model;
    const schedule::LineBoard* m_board = nullptr;
    QSizeGrip* m_grip = nullptr;
    std::vector<Entry> m_entries;
    int m_rowLimit = 5;
    bool m_clickThrough = false;
    bool m_dragging = false;
    QPoint m_dragOffset;
};

} // namespace zorvane::app
