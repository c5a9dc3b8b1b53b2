#include "models/rowfilter.h"

#include <QRegularExpression>

#include <algorithm>

namespace zorvane::app {
namespace {

// "10分钟内" (also "10 分钟内"), "<10m", "<2h".
std::optional<qint64> withinSeconds(const QString& word) {
    static const QRegularExpression minutesWithin(QStringLiteral("^(\\d{1,5})分钟内$"));
    static const QRegularExpression shortForm(QStringLiteral("^<(\\d{1,5})([mh])$"),
                                              QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch m = minutesWithin.match(word); m.hasMatch()) {
        return m.captured(1).toLongLong() * 60;
    }
    if (const QRegularExpressionMatch m = shortForm.match(word); m.hasMatch()) {
        const qint64 unit =
            m.captured(2).compare(QLatin1String("h"), Qt::CaseInsensitive) == 0 ? 3600 : 60;
        return m.captured(1).toLongLong() * unit;
    }
    return std::nullopt;
}

} // namespace

RowFilter::RowFilter(const QString& text) {
    // "10 分钟内" is one word to the player: join a number with the unit that follows it.
    QString joined = text;
    joined.replace(QRegularExpression(QStringLiteral("(\\d)\\s+(分钟内)")),
                   QStringLiteral("\\1\\2"));
    for (const QString& part :
         joined.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        Word word;
        word.text = part;
        // The state words are the same in every language of the window.
        if (part == QStringLiteral("已刷新") ||
            part.compare(QLatin1String("up"), Qt::CaseInsensitive) == 0) {
            word.up = true;
        } else {
            word.withinSeconds = withinSeconds(part);
        }
        m_readsTime = m_readsTime || word.up || word.withinSeconds.has_value();
        m_words.push_back(std::move(word));
    }
}

bool RowFilter::matches(const RowFacts& row) const {
    for (const Word& word : m_words) {
        if (word.up || word.withinSeconds) {
            const bool within = word.withinSeconds && row.remainingSeconds &&
                                *row.remainingSeconds <= *word.withinSeconds;
            if (row.up || within) {
                continue;
            }
            // A boss named like the state word is still found by its name.
        }
        const auto contains = [&word](const QString& text) {
            return text.contains(word.text, Qt::CaseInsensitive);
        };
        const auto equals = [&word](const QString& text) {
            return text.compare(word.text, Qt::CaseInsensitive) == 0;
        };
        if (contains(row.name) || contains(row.group) ||
            std::any_of(row.extra.begin(), row.extra.end(), contains) ||
            std::any_of(row.exact.begin(), row.exact.end(), equals)) {
            continue;
        }
        return false;
    }
    return true;
}

} // namespace zorvane::app
