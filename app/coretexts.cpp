#include "app/coretexts.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <array>
#include <utility>

namespace zorvane::app {
namespace {

// The core's fixed texts, listed so the translation tools collect them.
[[maybe_unused]] constexpr std::array kFixedTexts = {
    // Column titles of the table.
    QT_TRANSLATE_NOOP("Zorvane", "使用"), QT_TRANSLATE_NOOP("Zorvane", "序号"),
    QT_TRANSLATE_NOOP("Zorvane", "BOSS事件"), QT_TRANSLATE_NOOP("Zorvane", "周期(分)"),
    QT_TRANSLATE_NOOP("Zorvane", "延迟(分)"), QT_TRANSLATE_NOOP("Zorvane", "上次时间"),
    QT_TRANSLATE_NOOP("Zorvane", "下次时间"), QT_TRANSLATE_NOOP("Zorvane", "倒计时"),
    // Refused edits of the table.
    QT_TRANSLATE_NOOP("Zorvane", "禁止输入"), QT_TRANSLATE_NOOP("Zorvane", "请输入整数数字"),
    QT_TRANSLATE_NOOP("Zorvane", "请输入整数数字大于提示预警分钟"),
    QT_TRANSLATE_NOOP("Zorvane", "请正确输入日期"),
    // Why a sound file cannot be played.
    QT_TRANSLATE_NOOP("Zorvane", "找不到这个文件"), QT_TRANSLATE_NOOP("Zorvane", "这不是普通文件"),
    QT_TRANSLATE_NOOP("Zorvane", "文件大于 64 MB"),
    QT_TRANSLATE_NOOP("Zorvane", "无法读取这个文件"),
    QT_TRANSLATE_NOOP("Zorvane", "这不是可以播放的 WAV 文件"),
    QT_TRANSLATE_NOOP("Zorvane", "解码后的声音大于 256 MB"),
    QT_TRANSLATE_NOOP("Zorvane", "无法加载 SDL2 声音库"),
    // Where a kill was recorded.
    QT_TRANSLATE_NOOP("Zorvane", "双击"), QT_TRANSLATE_NOOP("Zorvane", "输入"),
    QT_TRANSLATE_NOOP("Zorvane", "自动轮换"), QT_TRANSLATE_NOOP("Zorvane", "命令行"),
    QT_TRANSLATE_NOOP("Zorvane", "远程"), QT_TRANSLATE_NOOP("Zorvane", "快捷键"),
    QT_TRANSLATE_NOOP("Zorvane", "右键菜单"), QT_TRANSLATE_NOOP("Zorvane", "未知")};

// The core's texts with values in them: the pattern that finds the values, and the text
// to translate with %1, %2 for them.
struct Pattern {
    const char* regex;
    const char* text;
};
constexpr std::array kPatterns = {
    Pattern{"^“(.*)”不是整数分钟$", QT_TRANSLATE_NOOP("Zorvane", "“%1”不是整数分钟")},
    Pattern{"^“(.*)”不在 1 到 (\\d+) 分钟之间$",
            QT_TRANSLATE_NOOP("Zorvane", "“%1”不在 1 到 %2 分钟之间")},
    Pattern{"^最多 (\\d+) 个提前时间$", QT_TRANSLATE_NOOP("Zorvane", "最多 %1 个提前时间")},
    Pattern{"^提前 (.*) 分钟的提醒不会响：不短于周期 (\\d+) 分钟$",
            QT_TRANSLATE_NOOP("Zorvane", "提前 %1 分钟的提醒不会响：不短于周期 %2 分钟")},
};

} // namespace

QString coreText(const std::string& text) {
    const QString source = QString::fromStdString(text);
    // An untranslated text comes back as it was given, so this also serves unknown texts.
    const QString fixed = QCoreApplication::translate("Zorvane", text.c_str());
    if (fixed != source) {
        return fixed;
    }
    for (const Pattern& pattern : kPatterns) {
        const QRegularExpression regex(QString::fromUtf8(pattern.regex),
                                       QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpressionMatch match = regex.match(source);
        if (!match.hasMatch()) {
            continue;
        }
        QString result = QCoreApplication::translate("Zorvane", pattern.text);
        for (int i = 1; i <= regex.captureCount(); ++i) {
            result = result.arg(match.captured(i));
        }
        return result;
    }
    return source;
}

} // namespace zorvane::app
