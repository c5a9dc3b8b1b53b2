#pragma once
// What the broker or the TLS layer said, as a message the window words in the member's
// language: MQTT 5 reason codes of a refused connection, a refused message or a
// disconnection, the TLS library's complaints, and a CA file that holds no certificate.

#include "text/message.h"

#include <optional>
#include <string>
#include <string_view>

namespace zorvane::share {

// A CONNACK that refused us (`code` non-zero). MQTT 3.1.1 brokers answer 1..5, MQTT 5
// brokers 0x80 and above. `libraryText` is the library's English wording of the code,
// quoted when no wording of ours fits.
text::Message connectRefusal(int code, std::string_view libraryText);

// A DISCONNECT the broker sent (`code` 0x80 and above); nullopt for a plain loss of the
// connection (the library's own error numbers, under 0x80).
std::optional<text::Message> disconnectReason(int code, std::string_view libraryText);

// A PUBACK or SUBACK reason code of 0x80 or above: why the broker did not take a message.
text::Message sendRefusal(int code, std::string_view libraryText);

// The reason of a TLS failure from one of the library's error log lines; nullopt for lines
// that are not about TLS. `caFile` is the CA file in use ("" for the system's).
std::optional<text::Message> tlsFailure(std::string_view logLine, std::string_view caFile);

// Why a CA file cannot be used (missing, unreadable, not a regular file, no PEM
// certificate in it); nullopt when it can be handed to the TLS library.
std::optional<text::Message> caFileProblem(const std::string& path);

} // namespace zorvane::share
