// The floor for idle measurements: the least a window of this kind can cost. A bare
// Qt 6 window with a 100 x 8 table, a clock label and a countdown column, updated once
// a second on the window thread. bench/idle.sh builds and runs it beside the program.

#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <chrono>

namespace {

class FirstPaintWatch final : public QObject {
public:
    explicit FirstPaintWatch(QString file) : m_file(std::move(file)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QTimer::singleShot(0, this, [this] {
                const auto now = std::chrono::system_clock::now().time_since_epoch();
                QFile out(m_file);
                if (out.open(QIODevice::Append)) {
                    out.write(
                        QByteArray::number(static_cast<long long>(
                            std::chrono::duration_cast<std::chrono::nanoseconds>(now).count())) +
                        '\n');
                }
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QString m_file;
    bool m_seen = false;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    constexpr int kRows = 100;
    constexpr int kColumns = 8;
    constexpr int kCountdownColumn = 7;

    QWidget window;
    window.setWindowTitle(QStringLiteral("floor"));
    window.setFixedSize(792, 540);
    auto* layout = new QVBoxLayout(&window);
    auto* clock = new QLabel(&window);
    auto* table = new QTableWidget(kRows, kColumns, &window);
    layout->addWidget(clock);
    layout->addWidget(table);

    for (int row = 0; row < kRows; ++row) {
        auto* use = new QTableWidgetItem;
        use->setCheckState(Qt::Checked);
        table->setItem(row, 0, use);
        for (int column = 1; column < kColumns; ++column) {
            table->setItem(row, column, new QTableWidgetItem(QString::number(row + column)));
        }
    }

    const QDateTime start = QDateTime::currentDateTime();
    auto update = [&] {
        const QDateTime now = QDateTime::currentDateTime();
        clock->setText(QStringLiteral("北京时间：") + now.toString(QStringLiteral("HH:mm:ss")));
        const qint64 elapsed = start.secsTo(now);
        for (int row = 0; row < kRows; ++row) {
            const qint64 left = 3600 + 60 * row - elapsed;
            table->item(row, kCountdownColumn)
                ->setText(QStringLiteral("%1时%2分%3秒")
                              .arg(left / 3600, 2, 10, QLatin1Char('0'))
                              .arg(left / 60 % 60, 2, 10, QLatin1Char('0'))
                              .arg(left % 60, 2, 10, QLatin1Char('0')));
        }
    };
    update();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, update);
    timer.start(1000);

    FirstPaintWatch watch(qEnvironmentVariable("ZORVANE_FIRST_PAINT_FILE"));
    if (!qEnvironmentVariableIsEmpty("ZORVANE_FIRST_PAINT_FILE")) {
        window.installEventFilter(&watch);
    }
    window.show();
    return QApplication::exec();
}
