#include "schedule/editing.h"

#include "schedule/timetext.h"
#include "text/cleaning.h"
#include "text/numbers.h"

#include <cstdint>
#include <string>

namespace zorvane::schedule {
namespace {

const std::string kNoTyping = "禁止输入";
const std::string kWholeNumber = "请输入整数数字";
const std::string kAboveWarning = "请输入整数数字大于提示预警分钟";
const std::string kBadTime = "请正确输入日期";
const std::string kDefaultPeriod = "30";

// Last time plus the period as a time of day. Whole days drop out of the text, so the
// sum is reduced to one day first: a huge period cannot overflow the seconds value.
std::string nextTimeFromSeconds(std::int32_t lastSeconds, std::int32_t periodMinutes) {
    constexpr std::int64_t kDay = 86400;
    const std::int64_t total =
        static_cast<std::int64_t>(lastSeconds) + static_cast<std::int64_t>(periodMinutes) * 60;
    return formatDuration(static_cast<std::int32_t>(total % kDay), "h:m:s", true);
}

std::string nextTimeFromClockText(std::string_view lastTime, std::int32_t periodMinutes,
                                  const Clock& clock) {
    return clockTimeText(addMinutes(dateAnchoredTime(lastTime, clock), periodMinutes));
}

void finishPeriod(BossTable& table, int row, std::string_view warnMinutesText,
                  MessageSink& messages, TableStore& store) {
    const std::string typed = table.cellText(row, kPeriodColumn);
    if (!isIntegerText(typed)) {
        messages.showMessage(kWholeNumber);
        table.setCellText(row, kPeriodColumn, kDefaultPeriod);
        return;
    }
    const std::int32_t period = text::textToInteger(typed);
    if (period <= text::textToInteger(warnMinutesText)) {
        messages.showMessage(kAboveWarning);
        table.setCellText(row, kPeriodColumn, kDefaultPeriod);
        return;
    }
    const std::int32_t last = timeTextToSeconds(table.cellText(row, kLastTimeColumn));
    table.setCellText(row, kNextTimeColumn, nextTimeFromSeconds(last, period));
    store.saveTable(table);
}

void finishDelay(BossTable& table, int row, MessageSink& messages, TableStore& store) {
    if (!isIntegerText(table.cellText(row, kDelayColumn))) {
        messages.showMessage(kWholeNumber);
        table.setCellText(row, kDelayColumn, "");
        return;
    }
    store.saveTable(table);
}

void finishLastTime(BossTable& table, int row, const Clock& clock, MessageSink& messages,
                    TableStore& store) {
    const std::string typed = table.cellText(row, kLastTimeColumn);
    const std::int32_t period = text::textToInteger(table.cellText(row, kPeriodColumn));
    if (isPastTimeOfDay(typed, clock)) {
        // The typed text stays as it is; the next time follows from the time found in it,
        // so words around the time ('abc 1:2:3 xyz') do not make it unreadable.
        table.setCellText(row, kNextTimeColumn,
                          nextTimeFromClockText(typedClockTime(typed), period, clock));
    } else {
        messages.showMessage(kBadTime);
        const std::string now = clockTimeText(clock.now());
        table.setCellText(row, kLastTimeColumn, now);
        table.setCellText(row, kNextTimeColumn, nextTimeFromClockText(now, period, clock));
    }
    store.saveTable(table);
}

} // namespace

bool isIntegerText(std::string_view text) {
    return text::extractChinese(text).empty() && text::extractLetters(text).empty() &&
           text::extractDisallowedChars(text).empty();
}

void onGridEditStarted(int cursorColumn, MessageSink& messages) {
    if (cursorColumn == kNumberColumn || cursorColumn == kCountdownColumn ||
        cursorColumn == kNextTimeColumn) {
        messages.showMessage(kNoTyping);
    }
}

void onGridEditFinished(BossTable& table, int cursorRow, int cursorColumn,
                        std::string_view warnMinutesText, const Clock& clock, MessageSink& messages,
                        TableStore& store) {
    if (cursorRow < 1 || cursorRow >= table.rowCount()) {
        return;
    }
    switch (cursorColumn) {
    case kNumberColumn:
        messages.showMessage(kNoTyping);
        break;
    case kPeriodColumn:
        finishPeriod(table, cursorRow, warnMinutesText, messages, store);
        break;
    case kDelayColumn:
        finishDelay(table, cursorRow, messages, store);
        break;
    case kNameColumn:
        store.saveTable(table);
        break;
    case kLastTimeColumn:
        finishLastTime(table, cursorRow, clock, messages, store);
        break;
    default:
        break;
    }
}

} // namespace zorvane::schedule
