#include "cli/roomoption.h"

#include "services/coretexts.h"
#include "services/preferences.h"
#include "share/roomlink.h"

#include <QCommandLineParser>

#include <cstdio>

namespace zorvane::app {

namespace {

void printError(const QString& text) {
    std::fputs(QStringLiteral("zorvane: %1\n").arg(text).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

} // namespace

QCommandLineOption roomOption() {
    return QCommandLineOption(
        QStringLiteral("room"),
        QStringLiteral("Share kills with the room <LINK> (mqtt://[user@]host[:port]/room, or "
                       "mqtts:// for TLS) from now on; 'none' leaves the room."),
        QStringLiteral("LINK"));
}

std::optional<int> applyRoomOption(const QStringList& arguments, const QString& preferencesFile) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption room = roomOption();
    parser.addOption(room);
    // Every other option belongs to someone else; only --room is looked at here.
    parser.parse(arguments);
    if (!parser.isSet(room)) {
        return std::nullopt;
    }
    const QString text = parser.values(room).constLast().trimmed();
    QString stored;
    if (text.compare(QStringLiteral("none"), Qt::CaseInsensitive) != 0) {
        share::RoomLink link;
        text::Message reason;
        if (!share::parseRoomLink(text.toStdString(), link, reason)) {
            printError(QStringLiteral("--room: '%1' is not a room link: %2")
                           .arg(text, messageText(reason)));
            return 2;
        }
        stored = QString::fromStdString(share::formatRoomLink(link));
    }
    Preferences preferences(preferencesFile);
    const bool written = stored.isEmpty() ? preferences.store().remove(preferences.roomLink.key())
                                          : preferences.roomLink.set(stored);
    if (!written) {
        printError(QStringLiteral("--room: cannot write %1").arg(preferencesFile));
        return 2;
    }
    return std::nullopt;
}

} // namespace zorvane::app
