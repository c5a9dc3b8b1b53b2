#include "share/payloadfields.h"

#include "text/codec.h"
#include "text/textops.h"

namespace zorvane::share::fields {

bool isHexId(std::string_view id) {
    if (id.size() != 32) {
        return false;
    }
    for (const char c : id) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

std::string textProblem(const char* field, std::string_view text, std::size_t maxBytes,
                        bool mayBeEmpty) {
    const std::string name(field);
    if (text.empty()) {
        return mayBeEmpty ? std::string() : name + " is empty";
    }
    if (text.size() > maxBytes) {
        return name + " is longer than " + std::to_string(maxBytes) + " bytes";
    }
    if (!text::isValidUtf8(text)) {
        return name + " is not valid UTF-8";
    }
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            return name + " contains a control character";
        }
    }
    if (text::trim(text) != text) {
        return name + " has leading or trailing spaces";
    }
    return {};
}

std::optional<Failure> readInteger(const Json& object, const char* key, std::int64_t low,
                                   std::int64_t high, std::int64_t& out) {
    const auto it = object.find(key);
    if (it == object.end()) {
        return Failure{DropReason::MissingField, std::string(key) + " is missing"};
    }
    if (it->is_number_unsigned()) {
        const auto value = it->get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(high)) {
            return Failure{DropReason::OutOfRange, std::string(key) + " is out of range"};
        }
        out = static_cast<std::int64_t>(value);
    } else if (it->is_number_integer()) {
        out = it->get<std::int64_t>();
    } else {
        return Failure{DropReason::WrongType, std::string(key) + " is not an integer"};
    }
    if (out < low || out > high) {
        return Failure{DropReason::OutOfRange, std::string(key) + " is out of range"};
    }
    return std::nullopt;
}

std::optional<Failure> readText(const Json& object, const char* key, std::string& out) {
    const auto it = object.find(key);
    if (it == object.end()) {
        return Failure{DropReason::MissingField, std::string(key) + " is missing"};
    }
    if (!it->is_string()) {
        return Failure{DropReason::WrongType, std::string(key) + " is not a string"};
    }
    out = it->get_ref<const std::string&>();
    return std::nullopt;
}

std::optional<Failure> parseObject(std::string_view payload, std::size_t limit, Json& object) {
    if (payload.size() > limit) {
        return Failure{DropReason::TooLarge, std::to_string(payload.size()) + " bytes"};
    }
    // The parser would take a NUL byte for the end of the input and ignore what follows.
    if (payload.find('\0') != std::string_view::npos) {
        return Failure{DropReason::NotJson, "contains a NUL byte"};
    }
    object = Json::parse(payload.begin(), payload.end(), nullptr, false);
    if (object.is_discarded() || !object.is_object()) {
        return Failure{DropReason::NotJson,
                       object.is_discarded() ? "not JSON" : "JSON but not an object"};
    }
    return std::nullopt;
}

std::string dump(const Json& object) {
    // Replacing rather than throwing: checked texts are valid UTF-8 anyway.
    return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace zorvane::share::fields
