#include "models/groupedrows.h"

#include "models/bosstablemodel.h"
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
    for (int row = 0; row < count; ++row) {
        const RowFacts facts = factsOf(row);
        const bool shown = m_filter.isEmpty() || m_filter.matches(facts);
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
            nodes.push_back(Node{NodeKind::Boss, row, -1});
        }
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
            nodes.push_back(Node{NodeKind::Boss, row, static_cast<int>(g)});
        }
    }
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
            to << (mapped.isValid() ? index(mapped.row(), kept.column) : QModelIndex());
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
        // The soonest boss's time left, as its own row words it.
        std::optional<qint64> least;
        int soonest = -1;
        for (const int row : group.sourceRows) {
            const QVariant remaining =
                sourceModel()->index(row, column).data(BossTableModel::RemainingSecondsRole);
            if (remaining.isValid() && (!least || remaining.toLongLong() < *least)) {
                least = remaining.toLongLong();
                soonest = row;
            }
        }
        return soonest >= 0 ? sourceModel()->index(soonest, column).data() : QVariant();
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
    if (role == NodeKindRole) {
        return static_cast<int>(NodeKind::Boss);
    }
    if (role == GroupKeyRole) {
        return node.group >= 0 ? m_groups[static_cast<std::size_t>(node.group)].key : QString();
    }
    return QAbstractProxyModel::data(index, role);
}

Qt::ItemFlags GroupedRows::flags(const QModelIndex& index) const {
    if (index.isValid() && static_cast<std::size_t>(index.row()) < m_nodes.size() &&
        m_nodes[static_cast<std::size_t>(index.row())].kind == NodeKind::Group) {
        return Qt::ItemIsEnabled;
    }
    return QAbstractProxyModel::flags(index);
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
