#include "services/coretexts.h"

#include <QCoreApplication>
#include <QStringList>

#include <array>
#include <cstddef>

namespace zorvane::app {
namespace {

// The core's column titles, listed so the translation tools collect them.
[[maybe_unused]] constexpr std::array kColumnTitles = {
    QT_TRANSLATE_NOOP("Zorvane", "使用"),     QT_TRANSLATE_NOOP("Zorvane", "序号"),
    QT_TRANSLATE_NOOP("Zorvane", "BOSS事件"), QT_TRANSLATE_NOOP("Zorvane", "周期(分)"),
    QT_TRANSLATE_NOOP("Zorvane", "延迟(分)"), QT_TRANSLATE_NOOP("Zorvane", "上次时间"),
    QT_TRANSLATE_NOOP("Zorvane", "下次时间"), QT_TRANSLATE_NOOP("Zorvane", "倒计时")};

// Indexed by text::MessageId; the wordings are the core's (a test compares them), written
// out here so the translation tools collect them.
constexpr std::array<const char*, static_cast<std::size_t>(text::MessageId::Count)> kSources = {
    nullptr, // None
    nullptr, // Literal
    QT_TRANSLATE_NOOP("Zorvane", "禁止输入"),
    QT_TRANSLATE_NOOP("Zorvane", "请输入整数数字"),
    QT_TRANSLATE_NOOP("Zorvane", "请输入整数数字大于提示预警分钟"),
    QT_TRANSLATE_NOOP("Zorvane", "请正确输入日期"),
    QT_TRANSLATE_NOOP("Zorvane", "“%1”不是整数分钟"),
    QT_TRANSLATE_NOOP("Zorvane", "“%1”不在 1 到 %2 分钟之间"),
    QT_TRANSLATE_NOOP("Zorvane", "最多 %1 个提前时间"),
    QT_TRANSLATE_NOOP("Zorvane", "提前 %1 分钟的提醒不会响：不短于周期 %2 分钟"),
    QT_TRANSLATE_NOOP("Zorvane", "%1时%2分%3秒"),
    QT_TRANSLATE_NOOP("Zorvane", "%1天%2时%3分%4秒"),
    QT_TRANSLATE_NOOP("Zorvane", "%1天%2时%3分"),
    QT_TRANSLATE_NOOP("Zorvane", "%1时%2分%3秒"),
    QT_TRANSLATE_NOOP("Zorvane", "%1分%2秒"),
    QT_TRANSLATE_NOOP("Zorvane", "%1秒"),
    QT_TRANSLATE_NOOP("Zorvane", "找不到这个文件"),
    QT_TRANSLATE_NOOP("Zorvane", "这不是普通文件"),
    QT_TRANSLATE_NOOP("Zorvane", "文件大于 64 MB"),
    QT_TRANSLATE_NOOP("Zorvane", "无法读取这个文件"),
    QT_TRANSLATE_NOOP("Zorvane", "这不是可以播放的 WAV 文件"),
    QT_TRANSLATE_NOOP("Zorvane", "解码后的声音大于 256 MB"),
    QT_TRANSLATE_NOOP("Zorvane", "采样率或声道数不合理（%1 Hz，%2 个声道）"),
    QT_TRANSLATE_NOOP("Zorvane", "无法加载 SDL2 声音库"),
    QT_TRANSLATE_NOOP("Zorvane", "无法播放所选的声音文件：%1\n原因：%2\n预警时将播放内置声音。"),
    QT_TRANSLATE_NOOP("Zorvane", "无法启动声音进程 %1"),
    QT_TRANSLATE_NOOP("Zorvane", "无法启动声音进程 %1：%2"),
    QT_TRANSLATE_NOOP("Zorvane", "声音进程意外结束（%1）"),
    QT_TRANSLATE_NOOP("Zorvane", "声音进程意外结束（退出码 %1）"),
    QT_TRANSLATE_NOOP("Zorvane", "声音进程 %1 接连无应答地结束"),
    QT_TRANSLATE_NOOP("Zorvane", "%1，改由本程序直接播放"),
    QT_TRANSLATE_NOOP("Zorvane", "预警声音未能播放"),
    QT_TRANSLATE_NOOP("Zorvane", "预警声音未能播放：%1"),
    QT_TRANSLATE_NOOP("Zorvane", "语音合成无法启动（libespeak-ng 或其语音数据缺失），提醒不会朗读"),
    QT_TRANSLATE_NOOP("Zorvane", "语音合成找不到语音“%1”（语音数据缺失？），提醒不会朗读"),
    QT_TRANSLATE_NOOP("Zorvane", "语音合成失败（espeak-ng 错误 %1），提醒未朗读"),
    QT_TRANSLATE_NOOP("Zorvane", "双击"),
    QT_TRANSLATE_NOOP("Zorvane", "输入"),
    QT_TRANSLATE_NOOP("Zorvane", "自动轮换"),
    QT_TRANSLATE_NOOP("Zorvane", "命令行"),
    QT_TRANSLATE_NOOP("Zorvane", "远程"),
    QT_TRANSLATE_NOOP("Zorvane", "快捷键"),
    QT_TRANSLATE_NOOP("Zorvane", "右键菜单"),
    QT_TRANSLATE_NOOP("Zorvane", "服务器重启"),
    QT_TRANSLATE_NOOP("Zorvane", "未知"),
    QT_TRANSLATE_NOOP("Zorvane", "该路径不是普通文件"),
    QT_TRANSLATE_NOOP("Zorvane", "由更新版本的程序创建（版本 %1）"),
    QT_TRANSLATE_NOOP("Zorvane", "历史记录数据库已损坏且无法移开，击杀暂不记入历史：%1（%2；%3）"),
    QT_TRANSLATE_NOOP("Zorvane", "历史记录数据库已损坏，已移到一旁并新建：%1（%2）"),
    QT_TRANSLATE_NOOP(
        "Zorvane", "历史记录数据库已损坏，已移到一旁，但无法新建，击杀暂不记入历史：%1（%2；%3）"),
    QT_TRANSLATE_NOOP("Zorvane", "无法打开历史记录数据库，击杀暂不记入历史：%1（%2）"),
    QT_TRANSLATE_NOOP("Zorvane", "历史记录写入失败，%1 条击杀未记入（%2）"),
    QT_TRANSLATE_NOOP("Zorvane", "历史记录不可用"),
    QT_TRANSLATE_NOOP("Zorvane", "无法写入 %1"),
    QT_TRANSLATE_NOOP("Zorvane", "房间连接已经启动"),
    QT_TRANSLATE_NOOP("Zorvane", "无法创建 MQTT 客户端"),
    QT_TRANSLATE_NOOP("Zorvane", "无法加载 MQTT 库：%1"),
    QT_TRANSLATE_NOOP("Zorvane", "用户名不被接受：%1"),
    QT_TRANSLATE_NOOP("Zorvane", "无法使用 CA 文件“%1”"),
    QT_TRANSLATE_NOOP("Zorvane", "无法使用系统的证书颁发机构"),
    QT_TRANSLATE_NOOP("Zorvane", "无法连接到服务器"),
    QT_TRANSLATE_NOOP("Zorvane", "连接已断开"),
    QT_TRANSLATE_NOOP("Zorvane", "服务器拒绝了用户名或密码（未授权）"),
    QT_TRANSLATE_NOOP("Zorvane", "服务器不允许读取房间的主题"),
    QT_TRANSLATE_NOOP("Zorvane", "TLS 连接失败：服务器的证书不受信任或与主机名不符"),
    QT_TRANSLATE_NOOP("Zorvane", "TLS 连接失败（%1）"),
    QT_TRANSLATE_NOOP("Zorvane", "“%1”中没有证书（需要 PEM 格式的 CA 证书）"),
    QT_TRANSLATE_NOOP("Zorvane", "服务器在该端口不使用 TLS（可能是 mqtt:// 的普通端口）"),
    QT_TRANSLATE_NOOP("Zorvane", "击杀时间在将来：晚于现在超过 %1 秒"),
    QT_TRANSLATE_NOOP("Zorvane", "重复击杀过早：距上次击杀 %1 分钟，该 BOSS 约 %2 分钟才刷新"),
    QT_TRANSLATE_NOOP("Zorvane", "一分钟内超过 %1 次击杀"),
    QT_TRANSLATE_NOOP("Zorvane", "只有官员可以撤回其他成员的击杀"),
    QT_TRANSLATE_NOOP("Zorvane", "只读"),
    QT_TRANSLATE_NOOP("Zorvane", "记录员"),
    QT_TRANSLATE_NOOP("Zorvane", "官员"),
    QT_TRANSLATE_NOOP("Zorvane", "成员（服务器未分角色）"),
    QT_TRANSLATE_NOOP("Zorvane", "你的账户在此房间只能接收，不能发送"),
    QT_TRANSLATE_NOOP("Zorvane", "服务器不允许你的账户发送这条消息"),
    QT_TRANSLATE_NOOP("Zorvane", "消息太大，服务器拒收"),
    QT_TRANSLATE_NOOP("Zorvane", "超出服务器的配额"),
    QT_TRANSLATE_NOOP("Zorvane", "服务器已禁止此账户"),
    QT_TRANSLATE_NOOP("Zorvane", "服务器暂时不可用"),
    QT_TRANSLATE_NOOP("Zorvane", "服务器管理员断开了连接（账户可能已被撤销）"),
    QT_TRANSLATE_NOOP("Zorvane", "另一个相同标识的客户端连接了服务器"),
    QT_TRANSLATE_NOOP("Zorvane", "服务器正在关闭"),
    QT_TRANSLATE_NOOP("Zorvane", "服务器拒绝：%1（代码 %2）"),
    QT_TRANSLATE_NOOP("Zorvane",
                      "服务器不支持 MQTT 5（需要 mosquitto 1.6 或更新版本等支持 MQTT 5 的服务器）"),
    QT_TRANSLATE_NOOP("Zorvane", "服务器拒收了 %1：%2"),
    QT_TRANSLATE_NOOP("Zorvane", "这条击杀不在房间的记录中，无法撤回"),
    QT_TRANSLATE_NOOP("Zorvane", "房间记录未能写入历史记录数据库：%1（%2）"),
    QT_TRANSLATE_NOOP("Zorvane", "房间链接以 mqtt:// 或 mqtts:// 开头"),
    QT_TRANSLATE_NOOP("Zorvane", "链接中没有房间（主机之后应为 …/房间）"),
    QT_TRANSLATE_NOOP("Zorvane", "密码不应写在链接中，请在首选项中输入"),
    QT_TRANSLATE_NOOP("Zorvane", "“@”之前的用户名为空或含有不允许的字符"),
    QT_TRANSLATE_NOOP("Zorvane", "IPv6 地址缺少结尾的“]”"),
    QT_TRANSLATE_NOOP("Zorvane", "“%1”不是 IPv6 地址"),
    QT_TRANSLATE_NOOP("Zorvane", "IPv6 地址之后有多余的文字"),
    QT_TRANSLATE_NOOP("Zorvane", "“:”之后的端口为空"),
    QT_TRANSLATE_NOOP("Zorvane", "链接中没有主机"),
    QT_TRANSLATE_NOOP("Zorvane", "“%1”不是主机名或地址"),
    QT_TRANSLATE_NOOP("Zorvane", "端口须为 1 到 65535 之间的数字"),
    QT_TRANSLATE_NOOP("Zorvane", "房间名长于 %1 字节"),
    QT_TRANSLATE_NOOP("Zorvane", "房间名含有空格或控制字符"),
    QT_TRANSLATE_NOOP("Zorvane", "房间名不能含有“%1”"),
    QT_TRANSLATE_NOOP("Zorvane", "已取消"),
    QT_TRANSLATE_NOOP("Zorvane", "下载失败：%1"),
    QT_TRANSLATE_NOOP("Zorvane", "页面中没有位于“【”和“】”之间的公告"),
    QT_TRANSLATE_NOOP("Zorvane", "%1；%2"),
    QT_TRANSLATE_NOOP("Zorvane", "地址里没有主机名，或端口超出范围"),
    QT_TRANSLATE_NOOP("Zorvane", "无法建立这个请求"),
    QT_TRANSLATE_NOOP("Zorvane", "回答大于 %1 字节"),
    QT_TRANSLATE_NOOP("Zorvane", "%1 %2后刷新"),
    QT_TRANSLATE_NOOP("Zorvane", "%1 刷新窗口已开启"),
    QT_TRANSLATE_NOOP("Zorvane", "%1 现在刷新"),
    QT_TRANSLATE_NOOP("Zorvane", "%1 已刷新 %2 分钟，仍未记录击杀"),
    QT_TRANSLATE_NOOP("Zorvane", "%1 分钟"),
    QT_TRANSLATE_NOOP("Zorvane", "%1 秒"),
    QT_TRANSLATE_NOOP("Zorvane", "刷新时间 %1"),
    QT_TRANSLATE_NOOP("Zorvane", "服务器回答 HTTP %1"),
    QT_TRANSLATE_NOOP("Zorvane", "服务器回答 HTTP %1：%2"),
    QT_TRANSLATE_NOOP("Zorvane", "%1 秒内没有回答"),
    QT_TRANSLATE_NOOP("Zorvane", "尝试 %1 次后放弃：%2"),
    QT_TRANSLATE_NOOP("Zorvane", "%1 条提醒已过时，未发送"),
    QT_TRANSLATE_NOOP("Zorvane", "待发送的提醒过多，已丢弃 %1 条"),
    QT_TRANSLATE_NOOP("Zorvane", "推送地址须以 http:// 或 https:// 开头并含有主机名"),
    QT_TRANSLATE_NOOP("Zorvane",
                      "Discord Webhook 地址形如 https://discord.com/api/webhooks/数字/令牌"),
    QT_TRANSLATE_NOOP(
        "Zorvane", "ntfy 地址形如 https://ntfy.sh/主题（主题只含字母、数字、- 和 _，最多 64 个）"),
    QT_TRANSLATE_NOOP("Zorvane", "未知的推送类型“%1”"),
    QT_TRANSLATE_NOOP("Zorvane", "无法读取推送设置 %1"),
    QT_TRANSLATE_NOOP("Zorvane",
                      "推送设置 %1 不是有效的 JSON（第 %2 字节），推送已关闭，文件保持原样"),
    QT_TRANSLATE_NOOP("Zorvane", "推送设置 %1 中的第 %2 个目标已跳过：%3"),
    QT_TRANSLATE_NOOP("Zorvane", "推送到“%1”失败：%2"),
    QT_TRANSLATE_NOOP("Zorvane", "无法启动推送程序 %1：%2"),
    QT_TRANSLATE_NOOP("Zorvane", "首领列表大于 %1 MB"),
    QT_TRANSLATE_NOOP("Zorvane", "首领列表不是有效的 JSON（第 %1 字节）"),
    QT_TRANSLATE_NOOP("Zorvane", "这不是 Zorvane 的首领列表"),
    QT_TRANSLATE_NOOP("Zorvane", "首领列表的版本是 %1，本程序只读得懂版本 %2"),
    QT_TRANSLATE_NOOP("Zorvane", "首领列表嵌套超过 %1 层"),
    QT_TRANSLATE_NOOP("Zorvane", "“%1”超过 %2 项"),
    QT_TRANSLATE_NOOP("Zorvane", "“%1”：%2"),
    QT_TRANSLATE_NOOP("Zorvane", "第 %1 个首领（%2）的“%3”：%4"),
    QT_TRANSLATE_NOOP("Zorvane", "类型不对"),
    QT_TRANSLATE_NOOP("Zorvane", "应为 %1 到 %2 之间的整数"),
    QT_TRANSLATE_NOOP("Zorvane", "读不懂规则“%1”"),
    QT_TRANSLATE_NOOP("Zorvane", "读不懂时区“%1”"),
    QT_TRANSLATE_NOOP("Zorvane", "长于 %1 字节"),
    QT_TRANSLATE_NOOP("Zorvane",
                      "名字“%1”为空、有控制字符、首尾有空白或长于 %2 字节，config.ini 存不下"),
    QT_TRANSLATE_NOOP("Zorvane", "第 %1 个首领没有名字"),
    QT_TRANSLATE_NOOP("Zorvane", "首领“%1”出现了不止一次"),
    QT_TRANSLATE_NOOP("Zorvane", "服务器“%1”不在列表的服务器中"),
    QT_TRANSLATE_NOOP("Zorvane", "无法读取首领列表 %1：%2"),
    QT_TRANSLATE_NOOP("Zorvane", "无法写入首领列表 %1：%2"),
    QT_TRANSLATE_NOOP("Zorvane", "表中有 %1 行叫这个名字，未改动"),
    QT_TRANSLATE_NOOP("Zorvane", "给了服务器却没有分线"),
};

// Fills %1..%9 in one pass, so a value holding "%2" is not filled in again.
QString fill(const QString& pattern, const QStringList& values) {
    QString out;
    out.reserve(pattern.size());
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == QLatin1Char('%') && i + 1 < pattern.size() && pattern[i + 1] >= QLatin1Char('1') &&
            pattern[i + 1] <= QLatin1Char('9')) {
            const qsizetype value = pattern[i + 1].unicode() - '1';
            if (value < values.size()) {
                out += values[value];
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

} // namespace

const char* messageSource(text::MessageId id) {
    const auto index = static_cast<std::size_t>(id);
    return index < kSources.size() ? kSources[index] : nullptr;
}

QString messageText(const text::Message& message) {
    if (message.id == text::MessageId::Literal) {
        return QString::fromStdString(message.literalText());
    }
    const char* source = messageSource(message.id);
    if (source == nullptr) {
        return {};
    }
    QStringList values;
    values.reserve(static_cast<qsizetype>(message.args.size()));
    for (const text::Message& arg : message.args) {
        values << messageText(arg);
    }
    return fill(QCoreApplication::translate("Zorvane", source), values);
}

bool showsTranslatedCoreTexts() {
    const char* source = messageSource(text::MessageId::Countdown);
    return QCoreApplication::translate("Zorvane", source) != QString::fromUtf8(source);
}

QString columnTitle(const std::string& title) {
    return QCoreApplication::translate("Zorvane", title.c_str());
}

} // namespace zorvane::app
