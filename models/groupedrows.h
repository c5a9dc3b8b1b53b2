#pragma once
// The grid's rows as a flat list of nodes over the sorted table: when any boss has a group,
// a header row per group (its name, how many bosses it holds, the soonest one's time left)
// followed by its bosses in the order below (so sorting by time left sorts within a
// group), and bosses without a group last under 未分组; a folded group shows its header
// only. The filter leaves out the bosses it does not match, and the headers of groups left
// empty. Without groups and with an empty filter the rows are the table's rows one to one.
//
// Every row says what kind of node it is (NodeKindRole): a header row maps to no table row,
// so selection, kills and edits, which go by table row, never reach one.
//
// A boss with lines (schedule/linetimers.h) folds too: folded, its row sums up the soonest
// line ("▶ 黑龙 3线 @ 二区" and that line's times); unfolded, one row per (server, line)
// follows it, sorted by time left when the view is. A line row maps to no table row either:
// it names its boss row's id and its line (BossRowIdRole, LineIdRole), and its texts are read
// from the board when painted. The filter finds lines by line and server and by state, and
// shows a boss with only its matching lines, summed up by the soonest of them.

#include "models/linecells.h"
#include "models/rowfilter.h"
#include "schedule/linetimers.h"

#include <QAbstractProxyModel>
#include <QHash>
#include <QPersistentModelIndex>
#include <QStringList>

#include <set>
#include <unordered_map>
#include <vector>

namespace zorvane::app {

class GroupedRows final : public QAbstractProxyModel {
    Q_OBJECT
public:
    enum class NodeKind : int { Boss = 0, Group = 1, Line = 2 };
    enum Role {
        // int: a NodeKind.
        NodeKindRole = Qt::UserRole + 40,
        // QString: a group header's group ("" for the bosses without one).
        GroupKeyRole = Qt::UserRole + 41,
        // qulonglong: a line row's schedule::LineId; invalid for other rows.
        LineIdRole = Qt::UserRole + 42,
        // qulonglong: the boss's schedule::RowId, on boss and line rows.
        BossRowIdRole = Qt::UserRole + 43,
        // bool: a boss row with lines (it folds; it never records a kill of its own).
        HasLinesRole = Qt::UserRole + 44,
    };

    explicit GroupedRows(QObject* parent = nullptr);

    void setSourceModel(QAbstractItemModel* source) override;

    // Each boss's group by its name (trimmed); bosses not named have none.
    void setGroups(QHash<QString, QString> groupOfBoss);
    QString groupOf(const QString& boss) const;
    // True while the rows are grouped (some boss shown or hidden has a group).
    bool grouped() const { return m_grouped; }

    void setFilter(const QString& text);
    QString filterText() const { return m_filterText; }
    bool filtering() const { return !m_filter.isEmpty(); }

    // Folded groups by their key ("" for 未分组); folding one that does not exist yet is
    // kept for when it does.
    void setFolded(const QString& group, bool folded);
    bool isFolded(const QString& group) const { return m_folded.count(group) != 0; }
    QStringList foldedGroups() const;
    void setFoldedGroups(const QStringList& groups);
    // Folds an unfolded group header, unfolds a folded one; false for a boss row.
    bool toggleFolded(const QModelIndex& header);

    // The bosses' lines; nullptr (the default) for none. The board must outlive the rows.
    void setLineBoard(const schedule::LineBoard* board);
    // The board's rows or lines changed (lines set, a kill, an undo): the rows follow.
    void linesChanged();
    // Unfolded bosses with lines by name; bosses are folded unless named here.
    void setExpanded(const QString& boss, bool expanded);
    bool isExpanded(const QString& boss) const { return m_expanded.count(boss) != 0; }
    QStringList expandedBosses() const;
    void setExpandedBosses(const QStringList& bosses);
    // Unfolds a folded boss with lines, folds an unfolded one; false for any other row.
    bool toggleExpanded(const QModelIndex& boss);
    // Unfolds or folds the boss with lines of a boss or line row; false for any other row.
    bool setExpandedAt(const QModelIndex& index, bool expanded);
    // True while some row shows a line or sums lines up (their looks change with the counts).
    bool showsLines() const { return m_showsLines; }
    // The row of a line; -1 when it is not shown.
    int rowOfLine(schedule::RowId boss, schedule::LineId line) const;

    // The filter matches again against the countdowns as they are now (a state word).
    void recheckTimes();

    // How many bosses the rows show or hold folded (the filter's matches).
    int bossCount() const { return m_bossCount; }

    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex sibling(int row, int column, const QModelIndex& idx) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    void foldedChanged();
    void expandedChanged();

private:
    struct Node {
        NodeKind kind = NodeKind::Boss;
        int sourceRow = -1;        // a boss's row in the source
        int group = -1;            // a header's index in m_groups
        schedule::RowId id = 0;    // a boss's with lines, a line's boss
        schedule::LineId line = 0; // a line's
        bool operator==(const Node&) const = default;
    };
    struct Group {
        QString key;
        std::vector<int> sourceRows; // the bosses the filter lets through, in source order
        bool operator==(const Group&) const = default;
    };
    // A persistent index of the view, kept across a change by what it points at.
    struct Kept {
        QPersistentModelIndex source; // a boss's cell
        QString group;                // a header's group
        schedule::LineId line = 0;    // a line's (source: its boss's cell)
        bool header = false;
        int column = 0;
    };

    RowFacts factsOf(int sourceRow) const;
    schedule::RowId rowIdOf(int sourceRow) const;
    // Whether the boss is shown; for a boss with lines (`id` not 0), the lines the filter
    // narrows it to go into `lines` (empty: the filter does not narrow them).
    bool matchBoss(const RowFacts& facts, schedule::RowId id,
                   std::vector<schedule::LineId>& lines) const;
    void appendBoss(std::vector<Node>& nodes, int sourceRow, int group, schedule::RowId id) const;
    LineOwner ownerOf(int sourceRow) const;
    // The line a boss row with lines sums up: its soonest, among those the filter lets
    // through when it narrows the boss; nullopt for a boss without lines.
    std::optional<schedule::LineTimer> shownSoonest(int sourceRow, schedule::RowId id) const;
    QVariant lineRowData(const Node& node, int column, int role) const;
    // A boss row with lines: its sign, and the soonest line's times and look.
    QVariant linesSummaryData(const QModelIndex& index, const Node& node, int role) const;
    // The nodes for the source as it is now.
    // Also counts the matches and whether any boss has a group.
    void build(std::vector<Node>& nodes, std::vector<Group>& groups);
    void rebuild();
    // The source rows' and the groups' rows among the nodes.
    void remap();
    // Rebuilds and tells the views, unless nothing changed.
    void relayout();
    // A layout change around a change of the nodes: the views' persistent indexes follow
    // the boss or the header they pointed at.
    void beginChange();
    void endChange(bool rebuildNodes);
    void onSourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                             const QList<int>& roles);
    void onSourceChangeDone();
    QVariant headerRowData(const Node& node, int column, int role) const;

    std::vector<Node> m_nodes;
    std::vector<Group> m_groups;
    std::vector<int> m_rowOfSource; // -1: not shown
    std::vector<int> m_headerRow;   // by group
    QHash<QString, QString> m_groupOfBoss;
    std::set<QString> m_folded;
    QString m_filterText;
    RowFilter m_filter;
    bool m_grouped = false;
    int m_bossCount = 0;
    int m_changing = 0;
    QModelIndexList m_keptFrom;
    std::vector<Kept> m_kept;
    std::vector<QMetaObject::Connection> m_sourceConnections;
    const schedule::LineBoard* m_board = nullptr;
    std::set<QString> m_expanded;
    // By source row: the lines the filter narrows a boss to (absent: not narrowed).
    std::unordered_map<int, std::vector<schedule::LineId>> m_narrowed;
    bool m_showsLines = false;
};

} // namespace zorvane::app
