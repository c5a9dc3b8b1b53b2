#include "app/messagebox.h"

#include <QMessageBox>

namespace zorvane::app {

void MessageBoxSink::showMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("信息："), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace zorvane::app
