#include "widgets/bossgrid.h"
#include "widgets/plaintext.h"

#include "models/bosstablemodel.h"
#include "models/groupedrows.h"
#include "models/rowlook.h"
#include "schedule/bosstable.h"

#include <QAbstractProxyModel>
#include <QApplication>
#include <QCoreApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <vector>

namespace zorvane::app {
namespace {

// The width of the fold sign in front of a boss with lines, where a click folds it.
constexpr int kSignWidth = 22;

// Set on an editor once it holds the cell's text: later model updates of the same cell
// (the tick rewrites times every second) must not overwrite what the user is typing.
constexpr const char* kEditorLoaded = "zorvaneEditorLoaded";

QStyle* styleOf(const QStyleOptionViewItem& option) {
    return option.widget ? option.widget->style() : QApplication::style();
}

} // namespace

QWidget* BossGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    emit editorAboutToOpen();
    return QStyledItemDelegate::createEditor(parent, option, index);
}

void BossGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (editor->property(kEditorLoaded).toBool()) {
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
    editor->setProperty(kEditorLoaded, true);
}

void BossGridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                    const QModelIndex& index) const {
    QStyledItemDelegate::setModelData(editor, model, index);
    emit textCommitted();
}

QRect BossGridDelegate::checkBoxRect(const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    opt.features |= QStyleOptionViewItem::HasCheckIndicator;
    const QStyle* style = styleOf(opt);
    const QSize size =
        style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, opt.widget).size();
    return QStyle::alignedRect(opt.direction, opt.displayAlignment, size, opt.rect);
}

void BossGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    if (!(index.flags() & Qt::ItemIsUserCheckable)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    QStyle* style = styleOf(opt);
    const Qt::CheckState state = opt.checkState;
    // The cell's background and focus frame without the style's left-aligned box...
    opt.features &= ~QStyleOptionViewItem::HasCheckIndicator;
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
    // ...and the box where the cell's alignment puts it.
    QStyleOptionViewItem box(opt);
    box.rect = checkBoxRect(option, index);
    box.state &= ~QStyle::State_HasFocus;
    box.state |= state == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, opt.widget);
}

bool BossGridDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                   const QStyleOptionViewItem& option, const QModelIndex& index) {
    const Qt::ItemFlags flags = index.flags();
    if (!(flags & Qt::ItemIsUserCheckable) || !(flags & Qt::ItemIsEnabled)) {
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton ||
            !checkBoxRect(option, index).contains(mouse->position().toPoint())) {
            return false;
        }
        // A press goes on to the view, which puts the cursor on the cell; a double
        // click is taken so that only the release toggles.
        if (event->type() == QEvent::MouseButtonPress) {
            return false;
        }
        if (event->type() == QEvent::MouseButtonDblClick) {
            return true;
        }
        break;
    }
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Space && key != Qt::Key_Select) {
            return false;
        }
        break;
    }
    default:
        return false;
    }
    const bool checked = index.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
    const bool toggled =
        model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    if (toggled) {
        emit checkToggled(index);
    }
    if (toggled && event->type() == QEvent::KeyPress) {
        emit checkToggledByKey();
    }
    return toggled;
}

QString BossGridDelegate::toolTipFor(const QModelIndex& index, bool elided) {
    if (!index.isValid()) {
        return {};
    }
    if (index.data(GroupedRows::NodeKindRole).toInt() ==
        static_cast<int>(GroupedRows::NodeKind::Group)) {
        return index.data(Qt::ToolTipRole).toString();
    }
    QStringList lines;
    if (elided) {
        lines << index.data(Qt::DisplayRole).toString();
    }
    const QAbstractItemModel* model = index.model();
    const QModelIndex use = model->index(index.row(), schedule::kUseColumn);
    const QModelIndex countdown = model->index(index.row(), schedule::kCountdownColumn);
    const RowLook look = rowLook(use.data(Qt::CheckStateRole).toInt() == Qt::Checked,
                                 countdown.data(BossTableModel::RemainingSecondsRole),
                                 countdown.data(BossTableModel::RowPhaseRole));
    // The state only where it is asked about: the countdown, or a text cut short.
    if (index.column() == schedule::kCountdownColumn) {
        lines << QCoreApplication::translate("Zorvane", "状态：") + lookName(look) << QString()
              << lookLegend();
    }
    return lines.join(QLatin1Char('\n'));
}

QString BossGridDelegate::fullToolTipFor(const QModelIndex& index, bool elided) const {
    QString text = toolTipFor(index, elided);
    if (!m_noteOf || !index.isValid() || index.column() != schedule::kNameColumn) {
        return text;
    }
    // The edit text is the name alone; a boss with lines shows its sign and soonest line too.
    const QString note = m_noteOf(index.data(Qt::EditRole).toString());
    if (note.isEmpty()) {
        return text;
    }
    return text.isEmpty() ? note : text + QLatin1Char('\n') + note;
}

bool BossGridDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                 const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !index.isValid()) {
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    // The room the text gets beside the cell's margins (and icon).
    const QStyle* style = styleOf(opt);
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
    const bool elided =
        !opt.text.isEmpty() && opt.fontMetrics.horizontalAdvance(opt.text) > textRect.width();
    const QString text = fullToolTipFor(index, elided);
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    QToolTip::showText(event->globalPos(), plainToolTip(text), view);
    return true;
}

BossGrid::BossGrid(QWidget* parent) : QTableView(parent), m_delegate(new BossGridDelegate(this)) {
    setItemDelegate(m_delegate);
    setEditTriggers(DoubleClicked | EditKeyPressed | AnyKeyPressed);
    setSelectionBehavior(SelectItems);
    setSelectionMode(SingleSelection);
    connect(m_delegate, &BossGridDelegate::editorAboutToOpen, this, &BossGrid::editStarted);
    connect(m_delegate, &BossGridDelegate::textCommitted, this, [this] { m_committed = true; });
    connect(m_delegate, &BossGridDelegate::checkToggledByKey, this, &BossGrid::checkToggledByKey);
    connect(m_delegate, &BossGridDelegate::checkToggled, this,
            [this](const QModelIndex& index) { emit checkToggled(tableRowOf(index)); });
}

int BossGrid::tableRowOf(const QModelIndex& viewIndex) const {
    // Down through every proxy to the table; a group's header row reaches none.
    QModelIndex source = viewIndex;
    while (source.isValid()) {
        const auto* proxy = qobject_cast<const QAbstractProxyModel*>(source.model());
        if (!proxy) {
            return source.row() + 1;
        }
        source = proxy->mapToSource(source);
    }
    return -1;
}

QModelIndex BossGrid::viewIndexOf(int tableRow, int column) const {
    if (!model() || tableRow < 1) {
        return {};
    }
    std::vector<const QAbstractProxyModel*> proxies;
    const QAbstractItemModel* bottom = model();
    while (const auto* proxy = qobject_cast<const QAbstractProxyModel*>(bottom)) {
        proxies.push_back(proxy);
        bottom = proxy->sourceModel();
    }
    if (!bottom) {
        return {};
    }
    QModelIndex index = bottom->index(tableRow - 1, column);
    for (auto it = proxies.rbegin(); it != proxies.rend() && index.isValid(); ++it) {
        index = (*it)->mapFromSource(index);
    }
    return index;
}

void BossGrid::setEmptyText(const QString& text) {
    if (text != m_emptyText) {
        m_emptyText = text;
        viewport()->update();
    }
}

bool BossGrid::toggleGroup(const QModelIndex& index) {
    auto* grouped = qobject_cast<GroupedRows*>(model());
    return grouped && index.isValid() && grouped->toggleFolded(index);
}

bool BossGrid::hasLines(const QModelIndex& index) {
    return index.data(GroupedRows::HasLinesRole).toBool();
}

bool BossGrid::isLine(const QModelIndex& index) {
    return index.data(GroupedRows::NodeKindRole).toInt() ==
           static_cast<int>(GroupedRows::NodeKind::Line);
}

bool BossGrid::toggleLines(const QModelIndex& index) {
    auto* grouped = qobject_cast<GroupedRows*>(model());
    return grouped && index.isValid() && grouped->toggleExpanded(index);
}

void BossGrid::mousePressEvent(QMouseEvent* event) {
    QTableView::mousePressEvent(event);
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    if (toggleGroup(index)) {
        return;
    }
    // The sign in front of a boss with lines folds and unfolds it, as a header's does.
    if (hasLines(index) && index.column() == schedule::kNameColumn &&
        event->position().x() < visualRect(index).left() + kSignWidth) {
        toggleLines(index);
    }
}

void BossGrid::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (m_emptyText.isEmpty() || !model() || model()->rowCount() > 0) {
        return;
    }
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(viewport()->rect().adjusted(16, 16, -16, -16),
                     Qt::AlignCenter | Qt::TextWordWrap, m_emptyText);
}

void BossGrid::repaintVisibleColumn(int column) {
    if (!isVisible() || isColumnHidden(column)) {
        return;
    }
    const int left = columnViewportPosition(column);
    const QRect strip(left, 0, columnWidth(column), viewport()->height());
    const QRect shown = strip.intersected(viewport()->rect());
    if (!shown.isEmpty()) {
        viewport()->update(shown);
    }
}

int BossGrid::cursorRow() const {
    return tableRowOf(currentIndex());
}

int BossGrid::cursorColumn() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.column() : -1;
}

void BossGrid::setCursorCell(int row, int column) {
    if (!model() || !selectionModel()) {
        return;
    }
    const QModelIndex target = viewIndexOf(row, column);
    if (!target.isValid()) {
        selectionModel()->clear();
        return;
    }
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
}

bool BossGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    // A double click folds or unfolds a boss with lines, wherever it lands on the row.
    if (trigger == DoubleClicked && hasLines(index)) {
        return false;
    }
    if (trigger == DoubleClicked && index.isValid() && index.column() == m_doubleClickColumn) {
        // The double click has its own meaning here; the editor is reached with F2 or typing.
        return false;
    }
    return QTableView::edit(index, trigger, event);
}

void BossGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    const bool moveOn = hint == QAbstractItemDelegate::EditNextItem ||
                        hint == QAbstractItemDelegate::EditPreviousItem;
    // Tab would open the next editor inside the base class, before this edit is finished.
    QTableView::closeEditor(editor, moveOn ? QAbstractItemDelegate::NoHint : hint);
    if (m_committed) {
        m_committed = false;
        emit editFinished();
    }
    if (!moveOn || !selectionModel()) {
        return;
    }
    const QPersistentModelIndex next(moveCursor(
        hint == QAbstractItemDelegate::EditNextItem ? MoveNext : MovePrevious, Qt::NoModifier));
    if (next.isValid()) {
        selectionModel()->setCurrentIndex(next, QItemSelectionModel::ClearAndSelect);
        if (next.flags() & Qt::ItemIsEditable) {
            QTableView::edit(next);
        }
    }
}

void BossGrid::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) {
        emit leftButtonReleased();
    }
}

void BossGrid::keyPressEvent(QKeyEvent* event) {
    // + and - unfold and fold the group whose header holds the cursor.
    if ((event->key() == Qt::Key_Plus || event->key() == Qt::Key_Minus) &&
        state() != EditingState) {
        const QModelIndex current = currentIndex();
        auto* grouped = qobject_cast<GroupedRows*>(model());
        const QString key = current.data(GroupedRows::GroupKeyRole).toString();
        if (grouped && current.data(GroupedRows::NodeKindRole).toInt() ==
                           static_cast<int>(GroupedRows::NodeKind::Group)) {
            grouped->setFolded(key, event->key() == Qt::Key_Minus);
            event->accept();
            return;
        }
        // On a boss with lines or one of its lines: its lines (the cursor goes to the boss).
        if (grouped && grouped->setExpandedAt(current, event->key() == Qt::Key_Plus)) {
            event->accept();
            return;
        }
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
        state() != EditingState && (hasLines(currentIndex()) || isLine(currentIndex()))) {
        // A line records a kill on itself from any column; a boss with lines never records
        // one of its own: it unfolds or folds.
        if (isLine(currentIndex())) {
            emit killKeyPressed();
        } else {
            toggleLines(currentIndex());
        }
        event->accept();
        return;
    }
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
        state() != EditingState && currentIndex().isValid() &&
        currentIndex().column() == m_doubleClickColumn) {
        emit killKeyPressed();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void BossGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    // The second click of a double click on a header counts as a click of its own.
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && toggleGroup(index)) {
        return;
    }
    // A boss with lines unfolds (or folds): a kill is recorded on one of its lines.
    if (event->button() == Qt::LeftButton && hasLines(index)) {
        toggleLines(index);
        return;
    }
    if (event->button() == Qt::LeftButton) {
        emit gridDoubleClicked();
    }
}

} // namespace zorvane::app
