#include "push/wording.h"

#include "push/jsontext.h"

#include <nlohmann/json.hpp>

namespace zorvane::push {

std::vector<text::MessageId> postedMessages() {
    using text::MessageId;
    return {MessageId::PushLeadTitle,  MessageId::PushWindowTitle,
            MessageId::PushSpawnTitle, MessageId::PushUnrecordedTitle,
            MessageId::PushMinutes,    MessageId::PushSeconds,
            MessageId::PushDueAt};
}

std::string wordedWith(const Templates& templates, const text::Message& message) {
    if (message.id == text::MessageId::Literal) {
        return message.literalText();
    }
    std::vector<std::string> values;
    values.reserve(message.args.size());
    for (const text::Message& arg : message.args) {
        values.push_back(wordedWith(templates, arg));
    }
    const auto found = templates.find(message.id);
    return text::fillTemplate(found != templates.end() ? std::string_view(found->second)
                                                       : text::messageTemplate(message.id),
                              values);
}

std::string templatesArgument(const Templates& templates) {
    nlohmann::json json = nlohmann::json::object();
    for (const auto& [id, pattern] : templates) {
        json[std::to_string(static_cast<int>(id))] = pattern;
    }
    return jsonText(json);
}

Templates readTemplatesArgument(std::string_view argument) {
    Templates templates;
    const nlohmann::json json = nlohmann::json::parse(argument, nullptr, false);
    if (!json.is_object()) {
        return templates;
    }
    const std::vector<text::MessageId> known = postedMessages();
    for (const text::MessageId id : known) {
        const auto found = json.find(std::to_string(static_cast<int>(id)));
        if (found != json.end() && found->is_string()) {
            templates[id] = found->get<std::string>();
        }
    }
    return templates;
}

} // namespace zorvane::push
