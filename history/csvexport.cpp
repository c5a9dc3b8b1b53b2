#include "history/csvexport.h"

#include "history/killtexts.h"

namespace zorvane::history {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";

bool startsFormula(std::string_view value) {
    if (value.empty()) {
        return false;
    }
    switch (value.front()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
        return true;
    default:
        return false;
    }
}

} // namespace

std::string csvField(std::string_view value, bool isText) {
    std::string field;
    if (isText && startsFormula(value)) {
        field = "'";
    }
    field.append(value);
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        return field;
    }
    std::string quoted = "\"";
    for (const char c : field) {
        if (c == '"') {
            quoted += '"';
        }
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string killsCsv(const std::vector<schedule::KillRecord>& records) {
    std::string out(kByteOrderMark);
    out += "BOSS事件,本地时间,UTC时间,周期(分),延迟(分),来源,发送者,服务器,分线";
    out += kLineEnd;
    for (const schedule::KillRecord& record : records) {
        out += csvField(record.boss);
        out += ',';
        out += csvField(localTimeText(record.utcSeconds), false);
        out += ',';
        out += csvField(utcTimeText(record.utcSeconds), false);
        out += ',';
        out += std::to_string(record.periodMinutes);
        out += ',';
        out += std::to_string(record.delayMinutes);
        out += ',';
        out += csvField(sourceLabel(record.source), false);
        out += ',';
        out += csvField(record.sender);
        out += ',';
        out += csvField(record.server);
        out += ',';
        out += csvField(record.line);
        out += kLineEnd;
    }
    return out;
}

} // namespace zorvane::history
