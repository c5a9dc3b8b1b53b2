#pragma once
// A text the core gives the user, as an identifier and its values instead of finished
// words, so the window can show it in the chosen language. defaultText gives the Chinese
// wording, which is what the program shows unless told otherwise and what files and logs
// keep.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zorvane::text {

// Keep in step with kTemplates in message.cpp and with the window's own table of the same
// wordings (a test compares them).
enum class MessageId {
    None,    // no message: the empty text
    Literal, // a text given as it is (a name, a path, a library's reason): the one value
    // Refused edits of the table.
    NoTyping,
    WholeNumber,
    AboveWarning,
    BadDate,
    // Lead times.
    LeadNotWhole,
    LeadOutOfRange,
    TooManyLeadTimes,
    LeadNeverSounds,
    // Countdowns and lengths of time.
    Countdown,
    CountdownDays,
    DurationDays,
    DurationHours,
    DurationMinutes,
    DurationSeconds,
    // Why a sound file cannot be played.
    SoundMissing,
    SoundNotRegular,
    SoundTooLarge,
    SoundUnreadable,
    SoundNotWav,
    SoundDecodedTooLarge,
    SoundOddFormat,
    SoundNoSdl,
    SoundUnplayable,
    // The sound helper program.
    SoundHelperCannotStart,
    SoundHelperCannotStartBecause,
    SoundHelperEndedBy,
    SoundHelperExitCode,
    SoundHelperSilent,
    SoundPlayingHere,
    // An alarm that stayed silent.
    AlarmSilent,
    AlarmSilentBecause,
    // Speech that could not be synthesised.
    SpeechNoLibrary,
    SpeechNoVoice,
    SpeechFailed,
    // Where a kill was recorded.
    SourceDoubleClick,
    SourceTyped,
    SourceRollOver,
    SourceCommandLine,
    SourceRemote,
    SourceKeyboard,
    SourceMenu,
    SourceRestart,
    SourceUnknown,
    // The kill history.
    HistoryNotRegularFile,
    HistoryNewerVersion,
    HistoryDamagedStuck,
    HistoryDamagedMoved,
    HistoryDamagedNotRecreated,
    HistoryCannotOpen,
    HistoryWriteFailed,
    HistoryUnavailable,
    CannotWrite,
    // Sharing a room.
    RoomAlreadyStarted,
    RoomNoClient,
    RoomNoLibrary,
    RoomUserRefused,
    RoomCaFileUnusable,
    RoomSystemCaUnusable,
    RoomUnreachable,
    RoomConnectionLost,
    RoomNotAuthorised,
    RoomTopicsRefused,
    RoomTlsFailed,
    RoomTlsFailedDetail,
    RoomCaFileNoCertificate,
    RoomNotTls,
    RoomRefusedFuture,
    RoomRefusedEarly,
    RoomRefusedTooMany,
    RoomRefusedNotTheirs,
    RoomRoleReader,
    RoomRoleRecorder,
    RoomRoleOfficer,
    RoomRoleUnmanaged,
    RoomReaderCannotSend,
    RoomBrokerNotAuthorised,
    RoomBrokerTooLarge,
    RoomBrokerQuota,
    RoomBrokerBanned,
    RoomBrokerBusy,
    RoomBrokerKicked,
    RoomBrokerTakenOver,
    RoomBrokerShuttingDown,
    RoomBrokerOther,
    RoomBrokerNeedsMqtt5,
    RoomSendRefused,
    RoomRetractUnknown,
    RoomAuditCannotWrite,
    LinkScheme,
    LinkNoRoom,
    LinkPassword,
    LinkBadUser,
    LinkIpv6Unclosed,
    LinkNotIpv6,
    LinkAfterIpv6,
    LinkEmptyPort,
    LinkNoHost,
    LinkBadHost,
    LinkBadPort,
    RoomNameTooLong,
    RoomNameSpace,
    RoomNameChar,
    // The announcement.
    AnnouncementCancelled,
    AnnouncementDownloadFailed,
    AnnouncementNoMarkers,
    ReasonsJoined,
    // Downloads.
    HttpBadAddress,
    HttpNoSetup,
    HttpTooLarge,
    // Alerts pushed to webhooks and phones.
    PushLeadTitle,
    PushWindowTitle,
    PushSpawnTitle,
    PushUnrecordedTitle,
    PushMinutes,
    PushSeconds,
    PushDueAt,
    PushHttpStatus,
    PushHttpStatusDetail,
    PushTimedOut,
    PushGaveUp,
    PushTooLate,
    PushQueueFull,
    PushNotHttp,
    PushDiscordAddress,
    PushNtfyAddress,
    PushUnknownKind,
    PushSettingsUnreadable,
    PushSettingsNotJson,
    PushSettingsEntry,
    PushTargetFailed,
    PushHelperCannotStart,
    // Boss lists.
    BossListTooLarge,
    BossListNotJson,
    BossListNotList,
    BossListVersion,
    BossListTooDeep,
    BossListTooMany,
    BossListField,
    BossListBossField,
    BossListWrongType,
    BossListOutOfRange,
    BossListBadRule,
    BossListBadZone,
    BossListTooLong,
    BossListBadName,
    BossListNoName,
    BossListDuplicate,
    BossListUnknownServer,
    BossListCannotRead,
    BossListCannotWrite,
    BossListRowsTwice,
    BossListServersWithoutLines,
    Count // not a message: the number of identifiers
};

struct Message {
    MessageId id = MessageId::None;
    // The values for %1, %2, ... in order; each is a message itself, so a reason can sit
    // inside a sentence and still be shown in the chosen language.
    std::vector<Message> args;

    Message() = default;
    Message(MessageId messageId, std::vector<Message> values = {})
        : id(messageId), args(std::move(values)) {}
    // A text shown as it is.
    static Message literal(std::string text);

    bool empty() const { return id == MessageId::None; }
    // The text of a Literal message; "" for any other.
    const std::string& literalText() const { return m_literal; }

    friend bool operator==(const Message&, const Message&) = default;

private:
    std::string m_literal;
};

// The Chinese wording with %1, %2, ... for the values; "%1" for Literal, "" for None.
std::string_view messageTemplate(MessageId id);

// The Chinese text: the template with the values filled in, each once, so a value that
// itself holds "%2" stays as it is.
std::string defaultText(const Message& message);

// The message as one line of printable text, for a helper process to hand it to the
// window (line breaks inside values become spaces); readMessage reads it back and gives
// nullopt for a line that is not such a text.
std::string messageLine(const Message& message);
std::optional<Message> readMessage(std::string_view line);

// Fills %1..%9 in a template with values in one pass; a missing value leaves the marker.
std::string fillTemplate(std::string_view pattern, const std::vector<std::string>& values);

} // namespace zorvane::text
