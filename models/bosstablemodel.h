#pragma once
// The boss table as Qt sees it: row 0 of the table is the horizontal header, table row
// r (r >= 1) is model row r - 1. Cells are read live from the table; the model keeps
// its own row count, which only changes inside begin/end notifications on the model's
// thread, so views never see a row count that disagrees with what they were told.

#include "schedule/bosstable.h"

#include <QAbstractTableModel>

#include <atomic>
#include <vector>

namespace zorvane::app {

class BossTableModel final : public QAbstractTableModel, private schedule::BossTable::Listener {
    Q_OBJECT
public:
    // Typed data of every cell of a row, as the tick's last pass left it, so views need
    // not parse the countdown text. Both are invalid QVariants until a pass has counted
    // the row (and for rows the tick skips: no last or next time).
    enum Role {
        // qlonglong: seconds until the row is due (<= 0 on the pass that found it due).
        RemainingSecondsRole = Qt::UserRole + 1,
        // int: a schedule::RowPhase (1 counting, 2 within the lead time, 3 due; 0 idle).
        RowPhaseRole = Qt::UserRole + 2,
        // QString: why some of the row's lead times never sound (at or above its period);
        // empty when all of them can. Also the row's tooltip then.
        LeadTimesNoteRole = Qt::UserRole + 3,
        // int: a schedule::SpawnPhase, where the last pass found the boss by its rule;
        // invalid before a pass has seen the row.
        SpawnPhaseRole = Qt::UserRole + 4,
        // double: how far through its window the boss is (window open only).
        SpawnFractionRole = Qt::UserRole + 5,
        // QString: the state in words ("已刷新：12:00:00 起无人记录击杀，已 00时05分00秒").
        // Also the name cell's tooltip.
        SpawnTextRole = Qt::UserRole + 6,
        // QString: the day the countdown ends on when it is not today ("明天", "周六",
        // "12月19日"); empty today and before a pass has seen the row.
        DueDayRole = Qt::UserRole + 7,
        // qulonglong: the row's stable id (schedule::RowId), for what is kept beside the
        // table by id (a boss's lines).
        RowIdRole = Qt::UserRole + 8,
    };

    // Becomes the table's listener; the table must outlive the model.
    explicit BossTableModel(schedule::BossTable& table, QObject* parent = nullptr);
    ~BossTableModel() override;

    schedule::BossTable& table() const { return m_table; }

    // Alignment of every cell and of the header; rows added later share it.
    void setAlignment(Qt::Alignment alignment);
    Qt::Alignment alignment() const { return m_alignment; }

    // The preferences' extra lead times, for rows without their own list (LeadTimesNoteRole).
    void setExtraLeadMinutes(std::vector<int> minutes);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Whether anybody shows countdowns (the window on screen, the overlay): while nobody
    // does, counts that only moved are not handed to the window thread at all. The first
    // watcher again gets one countdownsAdvanced at once. Watched from the start.
    void setCountdownsWatched(bool watched);

signals:
    // Once a pass: countdowns moved on and nothing else about their rows changed, so no
    // dataChanged is emitted for them (and no sorted view re-sorts: counts move together).
    // Whoever shows countdown texts repaints the ones it shows.
    void countdownsAdvanced();

private:
    void rowsInserted(int first, int last) override;
    void rowsRemoved(int first, int last) override;
    void cellsChanged(int row, int firstColumn, int lastColumn) override;
    void headerChanged(int firstColumn, int lastColumn) override;
    // A whole tick pass arrives as one block: one wake-up of the window thread per pass.
    void cellBlockChanged(int firstRow, int lastRow, int firstColumn, int lastColumn) override;
    void countdownsMoved() override;

    bool onModelThread() const;
    // The countdown cell of table row `row` as the window shows it.
    QString countdownText(int row) const;
    // Re-reads the row count after a structural change whose indices may be stale.
    void resync();
    void notifyCells(int firstRow, int lastRow, int firstColumn, int lastColumn);

    schedule::BossTable& m_table;
    int m_rowCount = 0;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    std::vector<int> m_extraLeadMinutes;
    // Read on the tick's thread.
    std::atomic<bool> m_countdownsWatched{true};
};

} // namespace zorvane::app
