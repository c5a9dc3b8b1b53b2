#include "schedule/leadtimes.h"

#include "text/numbers.h"
#include "text/textops.h"

#include <algorithm>
#include <functional>

namespace zorvane::schedule {

namespace {

bool isDigits(std::string_view piece) {
    return !piece.empty() &&
           std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

LeadTimes parseLeadTimes(std::string_view text) {
    // Full-width digits, commas and semicolons become ASCII; the ideographic comma and the
    // separators that stay are turned into one separator, so only pieces remain.
    std::string normal = text::normalizeFullWidth(text);
    normal = text::replaceAll(normal, "、", ",");
    for (char& c : normal) {
        if (c == ';' || c == ' ' || c == '\t') {
            c = ',';
        }
    }

    LeadTimes result;
    for (const std::string& raw : text::split(normal, ",")) {
        const std::string piece = text::trim(raw);
        if (piece.empty()) {
            continue;
        }
        if (!isDigits(piece)) {
            result.minutes.clear();
            result.error =
                text::Message(text::MessageId::LeadNotWhole, {text::Message::literal(piece)});
            return result;
        }
        // More than seven digits is far above the limit whatever they say; this also keeps
        // the conversion below from overflowing.
        const int value = piece.size() > 7 ? kMaxLeadMinutes + 1 : std::stoi(piece);
        if (value < 1 || value > kMaxLeadMinutes) {
            result.minutes.clear();
            result.error = text::Message(text::MessageId::LeadOutOfRange,
                                         {text::Message::literal(piece),
                                          text::Message::literal(std::to_string(kMaxLeadMinutes))});
            return result;
        }
        if (std::find(result.minutes.begin(), result.minutes.end(), value) ==
            result.minutes.end()) {
            result.minutes.push_back(value);
        }
    }
    if (result.minutes.size() > kMaxLeadTimes) {
        result.minutes.clear();
        result.error = text::Message(text::MessageId::TooManyLeadTimes,
                                     {text::Message::literal(std::to_string(kMaxLeadTimes))});
        return result;
    }
    std::sort(result.minutes.begin(), result.minutes.end(), std::greater<>());
    return result;
}

std::string leadTimesText(const std::vector<int>& minutes) {
    std::string out;
    for (int m : minutes) {
        if (!out.empty()) {
            out += ", ";
        }
        out += std::to_string(m);
    }
    return out;
}

std::vector<int> leadTimesNeverSounding(const std::vector<int>& minutes, int periodMinutes) {
    std::vector<int> never;
    if (periodMinutes <= 0) {
        return never;
    }
    for (const int m : minutes) {
        if (m >= periodMinutes) {
            never.push_back(m);
        }
    }
    return never;
}

text::Message leadTimesNote(const std::vector<int>& minutes, int periodMinutes) {
    std::vector<int> never = leadTimesNeverSounding(minutes, periodMinutes);
    if (never.empty()) {
        return {};
    }
    std::sort(never.begin(), never.end());
    return text::Message(text::MessageId::LeadNeverSounds,
                         {text::Message::literal(leadTimesText(never)),
                          text::Message::literal(std::to_string(periodMinutes))});
}

std::vector<PassLead> passLeads(long long warnMinutes, const std::vector<int>& extra) {
    std::vector<PassLead> list{{60LL * warnMinutes, static_cast<int>(warnMinutes), true}};
    for (const int minutes : extra) {
        if (minutes > 0 && minutes != warnMinutes) {
            list.push_back({60LL * minutes, minutes, false});
        }
    }
    return list;
}

namespace {

// What a cycle remembers of a window's announcements, beside the lead times' keys.
constexpr std::int64_t kOpeningLeadKey = -2;
constexpr std::int64_t kOpeningKey = -3;

} // namespace

bool crossedMark(std::optional<std::int64_t> previous, std::int64_t now, std::int64_t mark) {
    return previous ? *previous > mark && now <= mark : now == mark;
}

std::vector<PassLead> leadsReached(const std::vector<PassLead>& leads,
                                   std::optional<std::int64_t> previous, std::int64_t now,
                                   std::int64_t longest, std::set<std::int64_t>& warned) {
    std::vector<PassLead> reached;
    for (const PassLead& lead : leads) {
        if ((!lead.chime && lead.seconds >= longest) || warned.contains(lead.key())) {
            continue;
        }
        if (crossedMark(previous, now, lead.seconds)) {
            warned.insert(lead.key());
            reached.push_back(lead);
        }
    }
    return reached;
}

OpeningReached openingReached(std::optional<std::int64_t> previous, std::int64_t remaining,
                              std::int64_t width, std::int64_t leadSeconds,
                              std::int64_t periodSeconds, std::set<std::int64_t>& warned) {
    OpeningReached reached;
    if (leadSeconds > 0 && leadSeconds < periodSeconds && !warned.contains(kOpeningLeadKey) &&
        crossedMark(previous, remaining, width + leadSeconds)) {
        warned.insert(kOpeningLeadKey);
        reached.lead = true;
    }
    if (!warned.contains(kOpeningKey) && crossedMark(previous, remaining, width)) {
        warned.insert(kOpeningKey);
        reached.opened = true;
    }
    return reached;
}

std::optional<UtcSeconds> unrecordedSpawnDue(const SpawnView& view, std::int32_t remindMinutes,
                                             UtcSeconds now, std::optional<UtcSeconds> reminded) {
    if (remindMinutes <= 0 || view.phase != SpawnPhase::Up || !view.upSince ||
        reminded == view.upSince) {
        return std::nullopt;
    }
    const std::int64_t since = now - *view.upSince;
    if (since < 60LL * remindMinutes || since >= 60LL * remindMinutes + kLatePassSeconds) {
        return std::nullopt;
    }
    return view.upSince;
}

std::optional<UtcSeconds> nextCountMoment(UtcSeconds now, std::int64_t remaining,
                                          std::int64_t width, std::int64_t leadSeconds,
                                          const std::vector<PassLead>& leads, std::int64_t alsoAt) {
    std::optional<std::int64_t> soonest; // seconds from now
    const auto when = [&](std::int64_t mark) {
        if (remaining > mark && (!soonest || remaining - mark < *soonest)) {
            soonest = remaining - mark;
        }
    };
    when(0);
    if (alsoAt > 0) {
        when(alsoAt);
    }
    when(leadSeconds);
    for (const PassLead& lead : leads) {
        when(lead.seconds);
    }
    if (width > 0) {
        when(width);
        when(width + leadSeconds);
    }
    return soonest ? std::optional(now + *soonest) : std::nullopt;
}

std::optional<UtcSeconds> nextViewMoment(const SpawnView& view, std::int32_t remindMinutes,
                                         UtcSeconds now) {
    if (view.phase == SpawnPhase::WindowOpen) {
        return now + 1;
    }
    std::optional<UtcSeconds> soonest;
    const auto at = [&](UtcSeconds moment) {
        if (moment > now && (!soonest || moment < *soonest)) {
            soonest = moment;
        }
    };
    for (const std::optional<UtcSeconds>& moment : {view.earliest, view.latest}) {
        if (moment) {
            at(*moment);
        }
    }
    if (remindMinutes > 0 && view.upSince) {
        at(*view.upSince + 60LL * remindMinutes);
    }
    return soonest;
}

} // namespace zorvane::schedule
