#include "alarm/soundcommand.h"

#include "text/textops.h"

#include <vector>

namespace zorvane::alarm {
namespace {

// Blank-separated words; a double-quoted word may hold blanks. nullopt for an
// unterminated quote.
std::optional<std::vector<std::string>> splitWords(const std::string& command) {
    std::vector<std::string> words;
    std::size_t i = 0;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (i < command.size()) {
        if (blank(command[i])) {
            ++i;
            continue;
        }
        if (command[i] == '"') {
            const std::size_t end = command.find('"', i + 1);
            if (end == std::string::npos) {
                return std::nullopt;
            }
            words.push_back(command.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        const std::size_t start = i;
        while (i < command.size() && !blank(command[i]) && command[i] != '"') {
            ++i;
        }
        words.push_back(command.substr(start, i - start));
    }
    return words;
}

} // namespace

std::optional<SoundCommand> parseSoundCommand(const std::string& command) {
    const std::optional<std::vector<std::string>> words = splitWords(command);
    if (!words || words->empty()) {
        return std::nullopt;
    }
    SoundCommand parsed;
    parsed.verb = text::toLowerAscii((*words)[0]);
    const std::size_t count = words->size();
    if (parsed.verb == "open") {
        if (count == 2) {
            parsed.file = (*words)[1];
            parsed.alias = text::toLowerAscii((*words)[1]);
            return parsed;
        }
        if (count == 4 && text::toLowerAscii((*words)[2]) == "alias") {
            parsed.file = (*words)[1];
            parsed.alias = text::toLowerAscii((*words)[3]);
            return parsed;
        }
        return std::nullopt;
    }
    if (count == 2 && (parsed.verb == "play" || parsed.verb == "stop" || parsed.verb == "close")) {
        parsed.alias = text::toLowerAscii((*words)[1]);
        return parsed;
    }
    return std::nullopt;
}

} // namespace zorvane::alarm
