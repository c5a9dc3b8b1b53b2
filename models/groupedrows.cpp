#include "models/groupedrows.h"

#include "models/bosstablemodel.h"
#include "models/gridproxy.h"
#include "schedule/bosstable.h"
#include "schedule/spawnrule.h"

#include <QColor>
#include <QCoreApplication>
#include <QFont>

#include <algorithm>
#include <limits>

namespace zorvane::app {

GroupedRows::GroupedRows(QObject* parent) : QAbstractProxyModel(parent) {}

void GroupedRows::setSourceModel(QAbstractItemModel* source) {
    beginResetModel();
    for (const QMetaObject::Connection& connection : m_sourceConnections) {
        disconnect(connection);
    }
    m_sourceConnections.clear();
    QAbstractProxyModel::setSourceModel(source);
    if (source != nullptr) {
        const auto begin = [this] { beginChange(); };
        const auto done = [this] { onSourceChangeDone(); };
        const auto beginReset = [this] { beginResetModel(); };
        const auto endReset = [this] {
            rebuild();
            endResetModel();
        };
        m_sourceConnections = {
            connect(source, &QAbstractItemModel::dataChanged, this,
                    &GroupedRows::onSourceDataChanged),
            connect(source, &QAbstractItemModel::headerDataChanged, this,
                    [this](Qt::Orientation orientation, int first, int last) {
                        if (orientation == Qt::Horizontal) {
                            emit headerDataChanged(orientation, first, last);
                        }
                    }),
            connect(source, &QAbstractItemModel::layoutAboutToBeChanged, this, begin),
            connect(source, &QAbstractItemModel::layoutChanged, this, done),
            connect(source, &QAbstractItemModel::rowsAboutToBeInserted, this, begin),
            connect(source, &QAbstractItemModel::rowsInserted, this, done),
            connect(source, &QAbstractItemModel::rowsAboutToBeRemoved, this, begin),
            connect(source, &QAbstractItemModel::rowsRemoved, this, done),
            connect(source, &QAbstractItemModel::rowsAboutToBeMoved, this, begin),
            connect(source, &QAbstractItemModel::rowsMoved, this, done),
            connect(source, &QAbstractItemModel::modelAboutToBeReset, this, beginReset),
            connect(source, &QAbstractItemModel::modelReset, this, endReset),
            connect(source, &QAbstractItemModel::columnsAboutToBeInserted, this, beginReset),
            connect(source, &QAbstractItemModel::columnsInserted, this, endReset),
            connect(source, &QAbstractItemModel::columnsAboutToBeRemoved, this, beginReset),
            connect(source, &QAbstractItemModel::columnsRemoved, this, endReset),
        };
    }
    rebuild();
    endResetModel();
}

void GroupedRows::setGroups(QHash<QString, QString> groupOfBoss) {
    m_groupOfBoss = std::move(groupOfBoss);
    relayout();
    // Headers keep their rows when only counts change: their texts are read again.
    if (m_grouped && !m_nodes.empty()) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }
}

QString GroupedRows::groupOf(const QString& boss) const {
    return m_groupOfBoss.value(boss.trimmed());
}

void GroupedRows::setFilter(const QString& text) {
    m_filterText = text;
    m_filter = RowFilter(text);
    relayout();
}

void GroupedRows::recheckTimes() {
    if (m_filter.readsTime()) {
        relayout();
    }
}

void GroupedRows::setLineBoard(const schedule::LineBoard* board) {
    m_board = board;
    linesChanged();
}

void GroupedRows::linesChanged() {
    // Without lines before or now, and no filter by time, the layout cannot move: the start
    // (lines.json read after the rows) skips a walk of every row.
    const bool noLines = !m_showsLines && (m_board == nullptr || m_board->rows().empty());
    if (!noLines || m_filter.readsTime()) {
        relayout();
    }
    // Rows that stay where they were show new times and looks.
    if (!m_nodes.empty()) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }
}

void GroupedRows::setExpanded(const QString& boss, bool expanded) {
    if (expanded == isExpanded(boss)) {
        return;
    }
    if (expanded) {
        m_expanded.insert(boss);
    } else {
        m_expanded.erase(boss);
    }
    relayout();
    // The boss row's sign and summary change where it stays.
    for (std::size_t row = 0; row < m_nodes.size(); ++row) {
        const Node& node = m_nodes[row];
        if (node.kind == NodeKind::Boss && node.id != 0 && ownerOf(node.sourceRow).boss == boss) {
            emit dataChanged(index(static_cast<int>(row), 0),
                             index(static_cast<int>(row), columnCount() - 1));
        }
    }
    emit expandedChanged();
}

QStringList GroupedRows::expandedBosses() const {
    return QStringList(m_expanded.begin(), m_expanded.end());
}

void GroupedRows::setExpandedBosses(const QStringList& bosses) {
    m_expanded = std::set<QString>(bosses.begin(), bosses.end());
    linesChanged();
    emit expandedChanged();
}

bool GroupedRows::toggleExpanded(const QModelIndex& boss) {
    if (!boss.isValid() || boss.model() != this) {
        return false;
    }
    const Node& node = m_nodes[static_cast<std::size_t>(boss.row())];
    if (node.kind != NodeKind::Boss || node.id == 0) {
        return false;
    }
    const QString name = ownerOf(node.sourceRow).boss;
    setExpanded(name, !isExpanded(name));
    return true;
}

bool GroupedRows::setExpandedAt(const QModelIndex& index, bool expanded) {
    if (!index.isValid() || index.model() != this) {
        return false;
    }
    const Node& node = m_nodes[static_cast<std::size_t>(index.row())];
    if (node.kind == NodeKind::Group || node.id == 0) {
        return false;
    }
    setExpanded(ownerOf(node.sourceRow).boss, expanded);
    return true;
}

int GroupedRows::rowOfLine(schedule::RowId boss, schedule::LineId line) const {
    for (std::size_t row = 0; row < m_nodes.size(); ++row) {
        if (m_nodes[row].kind == NodeKind::Line && m_nodes[row].id == boss &&
            m_nodes[row].line == line) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

void GroupedRows::setFolded(const QString& group, bool folded) {
    if (folded == isFolded(group)) {
        return;
    }
    if (folded) {
        m_folded.insert(group);
    } else {
        m_folded.erase(group);
    }
    relayout();
    // The header's sign changes even where its rows stay.
    for (std::size_t row = 0; row < m_nodes.size(); ++row) {
        const Node& node = m_nodes[row];
        if (node.kind == NodeKind::Group && m_groups[node.group].key == group) {
            emit dataChanged(index(static_cast<int>(row), 0),
                             index(static_cast<int>(row), columnCount() - 1));
        }
    }
    emit foldedChanged();
}

QStringList GroupedRows::foldedGroups() const {
    return QStringList(m_folded.begin(), m_folded.end());
}

void GroupedRows::setFoldedGroups(const QStringList& groups) {
    m_folded = std::set<QString>(groups.begin(), groups.end());
    relayout();
    emit foldedChanged();
}

bool GroupedRows::toggleFolded(const QModelIndex& header) {
    if (!header.isValid() || header.model() != this ||
        m_nodes[static_cast<std::size_t>(header.row())].kind != NodeKind::Group) {
        return false;
    }
    const QString key = m_groups[m_nodes[static_cast<std::size_t>(header.row())].group].key;
    setFolded(key, !isFolded(key));
    return true;
}

RowFacts GroupedRows::factsOf(int sourceRow) const {
    const QAbstractItemModel& source = *sourceModel();
    RowFacts facts;
    facts.name = source.index(sourceRow, schedule::kNameColumn).data().toString().trimmed();
    facts.group = m_groupOfBoss.value(facts.name);
    if (m_filter.readsTime()) {
        const QModelIndex countdown = source.index(sourceRow, schedule::kCountdownColumn);
        const QVariant remaining = countdown.data(BossTableModel::RemainingSecondsRole);
        if (remaining.isValid()) {
            facts.remainingSeconds = remaining.toLongLong();
        }
        const QVariant spawn = countdown.data(BossTableModel::SpawnPhaseRole);
        facts.up =
            countdown.data(BossTableModel::RowPhaseRole).toInt() ==
                static_cast<int>(schedule::RowPhase::Due) ||
            (spawn.isValid() && spawn.toInt() == static_cast<int>(schedule::SpawnPhase::Up)) ||
            (facts.remainingSeconds && *facts.remainingSeconds <= 0);
    }
    return facts;
}

schedule::RowId GroupedRows::rowIdOf(int sourceRow) const {
    return sourceModel()
        ->index(sourceRow, 0)
        .data(BossTableModel::RowIdRole)
        .value<schedule::RowId>();
}

LineOwner GroupedRows::ownerOf(int sourceRow) const {
    const QAbstractItemModel& source = *sourceModel();
    LineOwner owner;
    owner.boss = source.index(sourceRow, schedule::kNameColumn).data().toString().trimmed();
    owner.checked =
        source.index(sourceRow, schedule::kUseColumn).data(Qt::CheckStateRole).toInt() ==
        Qt::Checked;
    owner.periodMinutes =
        source.index(sourceRow, schedule::kPeriodColumn).data(Qt::EditRole).toString().toLongLong();
    return owner;
}

bool GroupedRows::matchBoss(const RowFacts& facts, schedule::RowId id,
                            std::vector<schedule::LineId>& lines) const {
    lines.clear();
    if (m_filter.isEmpty()) {
        return true;
    }
    const std::vector<schedule::LineTimer> timers =
        id != 0 ? m_board->timers(id) : std::vector<schedule::LineTimer>{};
    if (timers.empty()) {
        return m_filter.matches(facts);
    }
    // A boss with lines is found through its lines: each word by the boss's name or group,
    // or by the line's label, server or state.
    bool all = true;
    for (const schedule::LineTimer& timer : timers) {
        RowFacts line = facts;
        const QString label = QString::fromStdString(timer.key.line);
        const QString caption = QString::fromStdString(schedule::lineCaption(timer.key.line));
        line.exact = QStringList{label, caption};
        line.extra = QStringList{QString::fromStdString(timer.key.server)};
        line.remainingSeconds = timer.state.remainingSeconds;
        line.up = timer.state.phase == schedule::RowPhase::Due ||
                  (timer.state.view && timer.state.view->phase == schedule::SpawnPhase::Up) ||
                  (timer.state.remainingSeconds && *timer.state.remainingSeconds <= 0);
        if (m_filter.matches(line)) {
            lines.push_back(timer.id);
        } else {
            all = false;
        }
    }
    if (all) {
        lines.clear();
        return true;
    }
    return !lines.empty();
}

void GroupedRows::appendBoss(std::vector<Node>& nodes, int sourceRow, int group,
                             schedule::RowId id) const {
    nodes.push_back(Node{NodeKind::Boss, sourceRow, group, id, 0});
    if (id == 0) {
        return;
    }
    const auto narrowed = m_narrowed.find(sourceRow);
    if (narrowed == m_narrowed.end() && !isExpanded(ownerOf(sourceRow).boss)) {
        return;
    }
    std::vector<schedule::LineTimer> timers = m_board->timers(id);
    if (narrowed != m_narrowed.end()) {
        std::erase_if(timers, [&shown = narrowed->second](const schedule::LineTimer& timer) {
            return std::find(shown.begin(), shown.end(), timer.id) == shown.end();
        });
    }
    // Lines sort by time left as the bosses do, uncounted ones last either way.
    const auto* proxy = qobject_cast<const GridProxy*>(sourceModel());
    const GridProxy::SortState order =
        proxy != nullptr ? proxy->sortState() : GridProxy::SortState::TableOrder;
    if (order != GridProxy::SortState::TableOrder) {
        const bool descending = order == GridProxy::SortState::Descending;
        std::stable_sort(timers.begin(), timers.end(),
                         [descending](const schedule::LineTimer& a, const schedule::LineTimer& b) {
                             const auto& left = a.state.remainingSeconds;
                             const auto& right = b.state.remainingSeconds;
                             if (!left || !right) {
                                 return left.has_value() && !right.has_value();
                             }
                             return descending ? *left > *right : *left < *right;
                         });
    }
    for (const schedule::LineTimer& timer : timers) {
        nodes.push_back(Node{NodeKind::Line, sourceRow, group, id, timer.id});
    }
}

void GroupedRows::build(std::vector<Node>& nodes, std::vector<Group>& groups) {
    nodes.clear();
    groups.clear();
    const QAbstractItemModel* source = sourceModel();
    const int count = source != nullptr ? source->rowCount() : 0;
    const auto* below = qobject_cast<const QAbstractProxyModel*>(source);
    // Groups keep the place of their first boss in the table, whatever the sort: a sorted
    // view orders the bosses inside them and the groups stay where the player looks.
    QHash<QString, int> groupIndex;
    std::vector<int> firstTableRow;
    Group ungrouped;
    int matched = 0;
    bool anyGroup = false;
    m_narrowed.clear();
    // Each source row's id where its boss has lines, else 0.
    std::vector<schedule::RowId> ids(static_cast<std::size_t>(count), 0);
    std::vector<schedule::LineId> lines;
    for (int row = 0; row < count; ++row) {
        const RowFacts facts = factsOf(row);
        if (m_board != nullptr) {
            if (const schedule::RowId id = rowIdOf(row); m_board->hasLines(id)) {
                ids[static_cast<std::size_t>(row)] = id;
            }
        }
        const bool shown = matchBoss(facts, ids[static_cast<std::size_t>(row)], lines);
        if (shown && !lines.empty()) {
            m_narrowed.emplace(row, std::move(lines));
            lines = {};
        }
        matched += shown ? 1 : 0;
        if (facts.group.isEmpty()) {
            if (shown) {
                ungrouped.sourceRows.push_back(row);
            }
            continue;
        }
        anyGroup = true;
        const int tableRow =
            below != nullptr ? below->mapToSource(below->index(row, 0)).row() : row;
        auto found = groupIndex.find(facts.group);
        if (found == groupIndex.end()) {
            found = groupIndex.insert(facts.group, static_cast<int>(groups.size()));
            groups.push_back(Group{facts.group, {}});
            firstTableRow.push_back(tableRow);
        }
        const auto at = static_cast<std::size_t>(*found);
        firstTableRow[at] = std::min(firstTableRow[at], tableRow);
        if (shown) {
            groups[at].sourceRows.push_back(row);
        }
    }
    m_grouped = anyGroup;
    m_bossCount = matched;
    if (!anyGroup) {
        groups.clear();
        for (const int row : ungrouped.sourceRows) {
            appendBoss(nodes, row, -1, ids[static_cast<std::size_t>(row)]);
        }
        m_showsLines =
            std::any_of(ids.begin(), ids.end(), [](schedule::RowId id) { return id != 0; });
        return;
    }
    std::vector<std::size_t> order(groups.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::sort(order.begin(), order.end(), [&firstTableRow](std::size_t a, std::size_t b) {
        return firstTableRow[a] < firstTableRow[b];
    });
    std::vector<Group> sorted;
    for (const std::size_t i : order) {
        if (!groups[i].sourceRows.empty()) {
            sorted.push_back(std::move(groups[i]));
        }
    }
    if (!ungrouped.sourceRows.empty()) {
        sorted.push_back(std::move(ungrouped));
    }
    groups = std::move(sorted);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        nodes.push_back(Node{NodeKind::Group, -1, static_cast<int>(g)});
        if (isFolded(groups[g].key)) {
            continue;
        }
        for (const int row : groups[g].sourceRows) {
            appendBoss(nodes, row, static_cast<int>(g), ids[static_cast<std::size_t>(row)]);
        }
    }
    m_showsLines = std::any_of(ids.begin(), ids.end(), [](schedule::RowId id) { return id != 0; });
}

void GroupedRows::relayout() {
    if (m_changing > 0) {
        return; // the change under way rebuilds when it ends
    }
    std::vector<Node> nodes;
    std::vector<Group> groups;
    build(nodes, groups);
    if (nodes == m_nodes && groups == m_groups) {
        return;
    }
    beginChange();
    m_nodes = std::move(nodes);
    m_groups = std::move(groups);
    endChange(false);
}

void GroupedRows::rebuild() {
    build(m_nodes, m_groups);
    remap();
}

void GroupedRows::remap() {
    m_rowOfSource.assign(
        static_cast<std::size_t>(sourceModel() != nullptr ? sourceModel()->rowCount() : 0), -1);
    m_headerRow.assign(m_groups.size(), -1);
    for (std::size_t row = 0; row < m_nodes.size(); ++row) {
        const Node& node = m_nodes[row];
        if (node.kind == NodeKind::Boss && node.sourceRow >= 0 &&
            static_cast<std::size_t>(node.sourceRow) < m_rowOfSource.size()) {
            m_rowOfSource[static_cast<std::size_t>(node.sourceRow)] = static_cast<int>(row);
        } else if (node.kind == NodeKind::Group) {
            m_headerRow[static_cast<std::size_t>(node.group)] = static_cast<int>(row);
        }
    }
}

void GroupedRows::beginChange() {
    if (m_changing++ > 0) {
        return;
    }
    emit layoutAboutToBeChanged();
    m_keptFrom = persistentIndexList();
    m_kept.clear();
    m_kept.reserve(static_cast<std::size_t>(m_keptFrom.size()));
    for (const QModelIndex& index : m_keptFrom) {
        Kept kept;
        kept.column = index.column();
        if (index.row() >= 0 && static_cast<std::size_t>(index.row()) < m_nodes.size()) {
            const Node& node = m_nodes[static_cast<std::size_t>(index.row())];
            if (node.kind == NodeKind::Group) {
                kept.header = true;
                kept.group = m_groups[static_cast<std::size_t>(node.group)].key;
            } else {
                kept.source =
                    QPersistentModelIndex(sourceModel()->index(node.sourceRow, index.column()));
                kept.line = node.line;
            }
        }
        m_kept.push_back(std::move(kept));
    }
}

void GroupedRows::onSourceChangeDone() {
    endChange(true);
}

void GroupedRows::endChange(bool rebuildNodes) {
    if (m_changing == 0 || --m_changing > 0) {
        return;
    }
    if (rebuildNodes) {
        build(m_nodes, m_groups);
    }
    remap();
    QModelIndexList to;
    to.reserve(m_keptFrom.size());
    for (const Kept& kept : m_kept) {
        if (kept.header) {
            int row = -1;
            for (std::size_t g = 0; g < m_groups.size(); ++g) {
                if (m_groups[g].key == kept.group) {
                    row = m_headerRow[g];
                }
            }
            to << (row >= 0 ? index(row, kept.column) : QModelIndex());
        } else {
            const QModelIndex mapped = mapFromSource(kept.source);
            int row = mapped.isValid() ? mapped.row() : -1;
            // A line stays on its line, or on its boss when the line is no longer shown.
            if (row >= 0 && kept.line != 0) {
                const Node& boss = m_nodes[static_cast<std::size_t>(row)];
                if (const int line = rowOfLine(boss.id, kept.line); line >= 0) {
                    row = line;
                }
            }
            to << (row >= 0 ? index(row, kept.column) : QModelIndex());
        }
    }
    changePersistentIndexList(m_keptFrom, to);
    m_keptFrom.clear();
    m_kept.clear();
    emit layoutChanged();
}

void GroupedRows::onSourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                      const QList<int>& roles) {
    if (m_changing > 0) {
        return;
    }
    if (m_grouped || filtering()) {
        // A new name moves a boss to another group; a new state in or out of the filter.
        relayout();
    }
    int first = std::numeric_limits<int>::max();
    int last = -1;
    for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
        const QModelIndex mapped = mapFromSource(sourceModel()->index(row, 0));
        if (!mapped.isValid()) {
            continue;
        }
        first = std::min(first, mapped.row());
        last = std::max(last, mapped.row());
        // A boss's lines take its use box and period.
        for (std::size_t next = static_cast<std::size_t>(mapped.row()) + 1;
             next < m_nodes.size() && m_nodes[next].kind == NodeKind::Line &&
             m_nodes[next].sourceRow == row;
             ++next) {
            last = std::max(last, static_cast<int>(next));
        }
        // The group's header summarises its bosses.
        if (const int group = m_nodes[static_cast<std::size_t>(mapped.row())].group; group >= 0) {
            first = std::min(first, m_headerRow[static_cast<std::size_t>(group)]);
        }
    }
    if (last >= 0) {
        emit dataChanged(index(first, topLeft.column()), index(last, bottomRight.column()), roles);
    }
}

QModelIndex GroupedRows::mapToSource(const QModelIndex& proxyIndex) const {
    if (!proxyIndex.isValid() || sourceModel() == nullptr || proxyIndex.row() < 0 ||
        static_cast<std::size_t>(proxyIndex.row()) >= m_nodes.size()) {
        return {};
    }
    const Node& node = m_nodes[static_cast<std::size_t>(proxyIndex.row())];
    if (node.kind != NodeKind::Boss) {
        return {};
    }
    return sourceModel()->index(node.sourceRow, proxyIndex.column());
}

QModelIndex GroupedRows::mapFromSource(const QModelIndex& sourceIndex) const {
    if (!sourceIndex.isValid() || sourceIndex.row() < 0 ||
        static_cast<std::size_t>(sourceIndex.row()) >= m_rowOfSource.size()) {
        return {};
    }
    const int row = m_rowOfSource[static_cast<std::size_t>(sourceIndex.row())];
    return row >= 0 ? index(row, sourceIndex.column()) : QModelIndex();
}

QModelIndex GroupedRows::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || column < 0 ||
        static_cast<std::size_t>(row) >= m_nodes.size() || column >= columnCount()) {
        return {};
    }
    return createIndex(row, column);
}

QModelIndex GroupedRows::parent(const QModelIndex&) const {
    return {};
}

int GroupedRows::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_nodes.size());
}

int GroupedRows::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || sourceModel() == nullptr ? 0 : sourceModel()->columnCount();
}

bool GroupedRows::hasChildren(const QModelIndex& parent) const {
    return !parent.isValid() && !m_nodes.empty();
}

QModelIndex GroupedRows::sibling(int row, int column, const QModelIndex&) const {
    return index(row, column);
}

QVariant GroupedRows::headerRowData(const Node& node, int column, int role) const {
    const Group& group = m_groups[static_cast<std::size_t>(node.group)];
    switch (role) {
    case NodeKindRole:
        return static_cast<int>(NodeKind::Group);
    case GroupKeyRole:
        return group.key;
    case Qt::DisplayRole: {
        if (column == schedule::kNameColumn) {
            const QString name =
                group.key.isEmpty() ? QCoreApplication::translate("Zorvane", "未分组") : group.key;
            return QCoreApplication::translate("Zorvane", "%1 %2（%3）")
                .arg(isFolded(group.key) ? QStringLiteral("▶") : QStringLiteral("▼"), name)
                .arg(group.sourceRows.size());
        }
        if (column != schedule::kCountdownColumn) {
            return {};
        }
        // The soonest boss's time left, as its own row words it; a boss with lines by its
        // soonest line.
        std::optional<qint64> least;
        QVariant text;
        for (const int row : group.sourceRows) {
            const std::optional<schedule::LineTimer> line = shownSoonest(row, rowIdOf(row));
            const QVariant remaining =
                line ? lineTimeData(line->state, {}, column, BossTableModel::RemainingSecondsRole)
                     : sourceModel()->index(row, column).data(BossTableModel::RemainingSecondsRole);
            if (remaining.isValid() && (!least || remaining.toLongLong() < *least)) {
                least = remaining.toLongLong();
                text = line ? lineTimeData(line->state, {}, column, Qt::DisplayRole)
                            : sourceModel()->index(row, column).data();
            }
        }
        return text;
    }
    case Qt::ToolTipRole:
        return QCoreApplication::translate("Zorvane", "单击或按 + / - 折叠、展开");
    case Qt::BackgroundRole:
        return QColor(226, 232, 240);
    case Qt::FontRole: {
        QFont font;
        font.setBold(true);
        return font;
    }
    case Qt::TextAlignmentRole:
        if (column == schedule::kNameColumn) {
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        }
        return sourceModel()->rowCount() > 0
                   ? sourceModel()->index(0, column).data(Qt::TextAlignmentRole)
                   : QVariant();
    default:
        return {};
    }
}

QVariant GroupedRows::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_nodes.size()) {
        return {};
    }
    const Node& node = m_nodes[static_cast<std::size_t>(index.row())];
    if (node.kind == NodeKind::Group) {
        return headerRowData(node, index.column(), role);
    }
    switch (role) {
    case NodeKindRole:
        return static_cast<int>(node.kind);
    case GroupKeyRole:
        return node.group >= 0 ? m_groups[static_cast<std::size_t>(node.group)].key : QString();
    case BossRowIdRole:
        return static_cast<qulonglong>(node.id != 0 ? node.id : rowIdOf(node.sourceRow));
    case HasLinesRole:
        return node.kind == NodeKind::Boss && node.id != 0;
    case LineIdRole:
        return node.kind == NodeKind::Line ? QVariant(static_cast<qulonglong>(node.line))
                                           : QVariant();
    default:
        break;
    }
    if (node.kind == NodeKind::Line) {
        return lineRowData(node, index.column(), role);
    }
    if (node.id != 0) {
        return linesSummaryData(index, node, role);
    }
    return QAbstractProxyModel::data(index, role);
}

std::optional<schedule::LineTimer> GroupedRows::shownSoonest(int sourceRow,
                                                             schedule::RowId id) const {
    if (m_board == nullptr || id == 0) {
        return std::nullopt;
    }
    // A boss the filter narrowed sums up only the lines it shows.
    const auto narrowed = m_narrowed.find(sourceRow);
    return narrowed != m_narrowed.end() ? m_board->soonest(id, narrowed->second)
                                        : m_board->soonest(id);
}

QVariant GroupedRows::lineRowData(const Node& node, int column, int role) const {
    const std::optional<schedule::LineTimer> timer = m_board->timer(node.id, node.line);
    if (!timer) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        if (column == schedule::kNameColumn) {
            return QStringLiteral("└ ") + lineLabel(timer->key);
        }
        break;
    case Qt::ToolTipRole:
        if (column == schedule::kNameColumn) {
            return QString::fromStdString(
                schedule::lineTitle(ownerOf(node.sourceRow).boss.toStdString(), timer->key));
        }
        return {};
    case Qt::TextAlignmentRole:
        return sourceModel()->index(node.sourceRow, column).data(role);
    default:
        break;
    }
    return lineTimeData(timer->state, ownerOf(node.sourceRow), column, role);
}

QVariant GroupedRows::linesSummaryData(const QModelIndex& index, const Node& node, int role) const {
    const int column = index.column();
    const bool timeColumn = column == schedule::kLastTimeColumn ||
                            column == schedule::kNextTimeColumn ||
                            column == schedule::kCountdownColumn;
    const bool summed =
        (role == Qt::DisplayRole && (timeColumn || column == schedule::kNameColumn)) ||
        role == BossTableModel::RemainingSecondsRole || role == BossTableModel::RowPhaseRole ||
        role == Qt::BackgroundRole || role == Qt::ForegroundRole || role == Qt::FontRole ||
        role == Qt::DecorationRole ||
        (role == Qt::TextAlignmentRole && column == schedule::kNameColumn);
    if (!summed) {
        return QAbstractProxyModel::data(index, role);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    const std::optional<schedule::LineTimer> soonest = shownSoonest(node.sourceRow, node.id);
    const LineOwner owner = ownerOf(node.sourceRow);
    if (role == Qt::DisplayRole && column == schedule::kNameColumn) {
        // Lines the filter narrowed the boss to show below it, unfolded or not.
        if (isExpanded(owner.boss) || m_narrowed.count(node.sourceRow) != 0) {
            return QStringLiteral("▼ ") + owner.boss;
        }
        return QStringLiteral("▶ ") + (soonest ? QString::fromStdString(schedule::lineTitle(
                                                     owner.boss.toStdString(), soonest->key))
                                               : owner.boss);
    }
    return soonest ? lineTimeData(soonest->state, owner, column, role) : QVariant();
}

Qt::ItemFlags GroupedRows::flags(const QModelIndex& index) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_nodes.size()) {
        return QAbstractProxyModel::flags(index);
    }
    const Node& node = m_nodes[static_cast<std::size_t>(index.row())];
    switch (node.kind) {
    case NodeKind::Group:
        return Qt::ItemIsEnabled;
    case NodeKind::Line:
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    case NodeKind::Boss:
        break;
    }
    Qt::ItemFlags flags = QAbstractProxyModel::flags(index);
    // A boss with lines shows its soonest line's times there: they are not the row's to type.
    if (node.id != 0 && (index.column() == schedule::kLastTimeColumn ||
                         index.column() == schedule::kNextTimeColumn ||
                         index.column() == schedule::kCountdownColumn)) {
        flags &= ~Qt::ItemIsEditable;
    }
    return flags;
}

QVariant GroupedRows::headerData(int section, Qt::Orientation orientation, int role) const {
    if (sourceModel() == nullptr) {
        return {};
    }
    if (orientation == Qt::Horizontal) {
        return sourceModel()->headerData(section, orientation, role);
    }
    return role == Qt::DisplayRole ? QVariant(section + 1) : QVariant();
}

} // namespace zorvane::app
