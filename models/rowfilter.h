#pragma once
// What the filter box asks of a row: its words, each of which a row must match. A word
// matches a boss whose name or group (and whatever further texts a row carries: servers,
// lines) contains it, ignoring case, or is a state word: 已刷新 or "up", "N分钟内", "<Nm"
// or "<Nh" (up, or due within that time). An empty filter matches everything.

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace zorvane::app {

// The facts of a row the filter reads.
struct RowFacts {
    QString name;
    QString group;
    // Further texts the row may be found by, in part (a line's server).
    QStringList extra;
    // Seconds until due as the last pass counted them; none when not counted.
    std::optional<qint64> remainingSeconds;
    // The pass found it due, or its rule says it is up.
    bool up = false;
    // Texts a word must equal, ignoring case (a line: "3" and "3线", so that "3线" does not
    // find 13线).
    QStringList exact = {};
};

class RowFilter {
public:
    RowFilter() = default;
    // Reads the box's text: words separated by blanks.
    explicit RowFilter(const QString& text);

    bool isEmpty() const { return m_words.empty(); }
    // True when some word asks about time left: the result changes as the countdowns move.
    bool readsTime() const { return m_readsTime; }
    bool matches(const RowFacts& row) const;

private:
    struct Word {
        QString text;
        bool up = false;                     // a state word: up
        std::optional<qint64> withinSeconds; // a state word: up or due within
    };
    std::vector<Word> m_words;
    bool m_readsTime = false;
};

} // namespace zorvane::app
