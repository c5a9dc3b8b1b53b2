#pragma once
// What the window shows of a shared room: the state line (connected, reconnecting,
// refused with the reason, members whose clocks differ, bosses on offer) and the panel of
// offered bosses the user can add to the table.

#include "widgets/clickablelabel.h"

#include <QDialog>
#include <QHash>
#include <QPointer>

class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace zorvane::app {

class RoomConnection;

// The room's state line. It shares its place with the write notice and steps aside while
// that one is shown: a file that cannot be written matters more.
class RoomStatusLine final : public ClickableLabel {
    Q_OBJECT
public:
    RoomStatusLine(RoomConnection& room, QWidget* notice, QWidget* parent = nullptr);

    // Shows the room's current state; hidden when no room is joined. While the notice
    // line shows too, the two split the place the line was put in.
    void refresh();
    // The place shared with the notice line.
    void setPlace(const QRect& area);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void arrange(bool shown);

    // The place the line and the notice share; empty until setPlace.
    QRect m_area;
    // Guarded: the line may outlive the connection while the window is torn down.
    QPointer<RoomConnection> m_room;
    QPointer<QWidget> m_notice;
};

// The bosses members killed that the table does not have; 添加 adds the selected ones.
class RoomOffersPanel final : public QDialog {
    Q_OBJECT
public:
    explicit RoomOffersPanel(RoomConnection& room, QWidget* parent = nullptr);

    QListWidget* list() const { return m_list; }
    // Adds the selected bosses (all when none is selected).
    void addSelected();

private:
    // Updates the items of these bosses only: added, changed or gone.
    void update(const QStringList& bosses);

    RoomConnection& m_room;
    QListWidget* m_list = nullptr;
    QPushButton* m_add = nullptr;
    // The list's item for each boss on offer.
    QHash<QString, QListWidgetItem*> m_items;
};

} // namespace zorvane::app
