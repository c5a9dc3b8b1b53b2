#include "share/brokerreasons.h"

#include "text/fileio.h"

#include <array>
#include <filesystem>
#include <fstream>

namespace zorvane::share {
namespace {

using text::Message;
using text::MessageId;

// MQTT 5 reason codes.
constexpr int kBadUserOrPassword = 0x86;
constexpr int kNotAuthorized = 0x87;
constexpr int kServerUnavailable = 0x88;
constexpr int kServerBusy = 0x89;
constexpr int kBanned = 0x8A;
constexpr int kShuttingDown = 0x8B;
constexpr int kSessionTakenOver = 0x8E;
constexpr int kPacketTooLarge = 0x95;
constexpr int kQuotaExceeded = 0x97;
constexpr int kAdministrativeAction = 0x98;
constexpr int kConnectionRateExceeded = 0x9F;
constexpr int kUnsupportedProtocolVersion = 0x84;
// MQTT 3.1.1 CONNACK codes.
constexpr int kLegacyProtocolVersion = 1;
constexpr int kLegacyServerUnavailable = 3;
constexpr int kLegacyBadUserOrPassword = 4;
constexpr int kLegacyNotAuthorized = 5;

// A CA file of the guild is small; anything far larger is not one.
constexpr std::uintmax_t kMaxCaFileBytes = 4 * 1024 * 1024;

Message other(int code, std::string_view libraryText) {
    return Message(MessageId::RoomBrokerOther, {Message::literal(std::string(libraryText)),
                                                Message::literal(std::to_string(code))});
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

} // namespace

Message connectRefusal(int code, std::string_view libraryText) {
    switch (code) {
    case kLegacyBadUserOrPassword:
    case kLegacyNotAuthorized:
    case kBadUserOrPassword:
    case kNotAuthorized:
        // Brokers answer a wrong password with either code.
        return Message(MessageId::RoomNotAuthorised);
    case kBanned:
        return Message(MessageId::RoomBrokerBanned);
    case kLegacyProtocolVersion:
    case kUnsupportedProtocolVersion:
        return Message(MessageId::RoomBrokerNeedsMqtt5);
    case kLegacyServerUnavailable:
    case kServerUnavailable:
    case kServerBusy:
    case kConnectionRateExceeded:
        return Message(MessageId::RoomBrokerBusy);
    case kQuotaExceeded:
        return Message(MessageId::RoomBrokerQuota);
    default:
        return other(code, libraryText);
    }
}

std::optional<Message> disconnectReason(int code, std::string_view libraryText) {
    if (code < 0x80) {
        return std::nullopt;
    }
    switch (code) {
    case kAdministrativeAction:
        return Message(MessageId::RoomBrokerKicked);
    case kSessionTakenOver:
        return Message(MessageId::RoomBrokerTakenOver);
    case kShuttingDown:
        return Message(MessageId::RoomBrokerShuttingDown);
    case kNotAuthorized:
        return Message(MessageId::RoomNotAuthorised);
    case kPacketTooLarge:
        return Message(MessageId::RoomBrokerTooLarge);
    case kQuotaExceeded:
        return Message(MessageId::RoomBrokerQuota);
    case kServerBusy:
    case kServerUnavailable:
        return Message(MessageId::RoomBrokerBusy);
    default:
        return other(code, libraryText);
    }
}

Message sendRefusal(int code, std::string_view libraryText) {
    switch (code) {
    case kNotAuthorized:
        return Message(MessageId::RoomBrokerNotAuthorised);
    case kPacketTooLarge:
        return Message(MessageId::RoomBrokerTooLarge);
    case kQuotaExceeded:
        return Message(MessageId::RoomBrokerQuota);
    default:
        return other(code, libraryText);
    }
}

std::optional<Message> tlsFailure(std::string_view logLine, std::string_view caFile) {
    if (contains(logLine, "Unable to load CA certificates")) {
        return Message(MessageId::RoomCaFileNoCertificate, {Message::literal(std::string(caFile))});
    }
    if (!contains(logLine, "OpenSSL")) {
        return std::nullopt;
    }
    // A TLS hello answered by a plain MQTT listener: it hangs up, or answers in plain text
    // that the TLS library cannot read as a record.
    static constexpr std::array<std::string_view, 5> kNotTls = {
        "wrong version number", "unexpected eof while reading", "packet length too long",
        "record layer failure", "http request"};
    for (const std::string_view sign : kNotTls) {
        if (contains(logLine, sign)) {
            return Message(MessageId::RoomNotTls);
        }
    }
    if (contains(logLine, "certificate verify failed")) {
        return Message(MessageId::RoomTlsFailed);
    }
    if (contains(logLine, "no certificate or crl found")) {
        return Message(MessageId::RoomCaFileNoCertificate, {Message::literal(std::string(caFile))});
    }
    return Message(MessageId::RoomTlsFailedDetail, {Message::literal(std::string(logLine))});
}

std::optional<Message> caFileProblem(const std::string& path) {
    const Message unusable(MessageId::RoomCaFileUnusable, {Message::literal(path)});
    std::error_code ec;
    const std::filesystem::path file = text::pathFromUtf8(path);
    // Only a regular file: a FIFO in its place would hang the read below.
    if (!std::filesystem::is_regular_file(file, ec) ||
        std::filesystem::file_size(file, ec) > kMaxCaFileBytes || ec) {
        return unusable;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return unusable;
    }
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    // The markers PEM files of certificates begin with; the TLS library reads the rest.
    for (const std::string_view marker :
         {"-----BEGIN CERTIFICATE-----", "-----BEGIN TRUSTED CERTIFICATE-----",
          "-----BEGIN X509 CERTIFICATE-----"}) {
        if (contains(content, marker)) {
            return std::nullopt;
        }
    }
    return Message(MessageId::RoomCaFileNoCertificate, {Message::literal(path)});
}

} // namespace zorvane::share
