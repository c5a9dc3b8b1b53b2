#include "app/coretexts.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <array>
#include <cstddef>
#include <vector>

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
    // Countdowns and the lengths of time in the history.
    Pattern{"^(-?\\d+)时(\\d+)分(\\d+)秒$", QT_TRANSLATE_NOOP("Zorvane", "%1时%2分%3秒")},
    Pattern{"^(-?\\d+)天(\\d+)时(\\d+)分(\\d+)秒$",
            QT_TRANSLATE_NOOP("Zorvane", "%1天%2时%3分%4秒")},
    Pattern{"^(-?\\d+)天(\\d+)时(\\d+)分$", QT_TRANSLATE_NOOP("Zorvane", "%1天%2时%3分")},
    Pattern{"^(-?\\d+)分(\\d+)秒$", QT_TRANSLATE_NOOP("Zorvane", "%1分%2秒")},
    Pattern{"^(-?\\d+)秒$", QT_TRANSLATE_NOOP("Zorvane", "%1秒")},
};

// Compiled once: the countdowns pass here for every row every second.
const std::vector<QRegularExpression>& compiledPatterns() {
    static const std::vector<QRegularExpression> compiled = [] {
        std::vector<QRegularExpression> out;
        for (const Pattern& pattern : kPatterns) {
            out.emplace_back(QString::fromUtf8(pattern.regex),
                             QRegularExpression::DotMatchesEverythingOption);
        }
        return out;
    }();
    return compiled;
}

} // namespace

QString coreText(const std::string& text) {
    const QString source = QString::fromStdString(text);
    // An untranslated text comes back as it was given, so this also serves unknown texts.
    const QString fixed = QCoreApplication::translate("Zorvane", text.c_str());
    if (fixed != source) {
        return fixed;
    }
    const std::vector<QRegularExpression>& regexes = compiledPatterns();
    for (std::size_t i = 0; i < regexes.size(); ++i) {
        const QRegularExpressionMatch match = regexes[i].match(source);
        if (!match.hasMatch()) {
            continue;
        }
        const QString pattern = QCoreApplication::translate("Zorvane", kPatterns[i].text);
        // All values at once, so a value that looks like %2 is not filled in again.
        const QStringList values = match.capturedTexts().mid(1);
        switch (values.size()) {
        case 1:
            return pattern.arg(values[0]);
        case 2:
            return pattern.arg(values[0], values[1]);
        case 3:
            return pattern.arg(values[0], values[1], values[2]);
        default:
            return pattern.arg(values[0], values[1], values[2], values[3]);
        }
    }
    return source;
}

} // namespace zorvane::app
