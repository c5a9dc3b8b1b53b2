#pragma once
// The filter box above the grid: the words the grid's rows are found by (name, group,
// state), cleared by Esc. Esc goes to the window's silence only once the box is empty.

#include <QLineEdit>

namespace zorvane::app {

class FilterBox final : public QLineEdit {
    Q_OBJECT
public:
    explicit FilterBox(QWidget* parent = nullptr);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace zorvane::app
