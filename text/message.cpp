#include "text/message.h"

#include <array>
#include <cstddef>

namespace zorvane::text {
namespace {

constexpr std::array<std::string_view, static_cast<std::size_t>(MessageId::Count)> kTemplates = {
    "",
    "%1",
    "禁止输入",
    "请输入整数数字",
    "请输入整数数字大于提示预警分钟",
    "请正确输入日期",
    "“%1”不是整数分钟",
    "“%1”不在 1 到 %2 分钟之间",
    "最多 %1 个提前时间",
    "提前 %1 分钟的提醒不会响：不短于周期 %2 分钟",
    "%1时%2分%3秒",
    "%1天%2时%3分%4秒",
    "%1天%2时%3分",
    "%1时%2分%3秒",
    "%1分%2秒",
    "%1秒",
    "找不到这个文件",
    "这不是普通文件",
    "文件大于 64 MB",
    "无法读取这个文件",
    "这不是可以播放的 WAV 文件",
    "解码后的声音大于 256 MB",
    "采样率或声道数不合理（%1 Hz，%2 个声道）",
    "无法加载 SDL2 声音库",
    "无法播放所选的声音文件：%1\n原因：%2\n预警时将播放内置声音。",
    "无法启动声音进程 %1",
    "无法启动声音进程 %1：%2",
    "声音进程意外结束（%1）",
    "声音进程意外结束（退出码 %1）",
    "声音进程 %1 接连无应答地结束",
    "%1，改由本程序直接播放",
    "预警声音未能播放",
    "预警声音未能播放：%1",
    "语音合成无法启动（libespeak-ng 或其语音数据缺失），提醒不会朗读",
    "语音合成找不到语音“%1”（语音数据缺失？），提醒不会朗读",
    "语音合成失败（espeak-ng 错误 %1），提醒未朗读",
    "双击",
    "输入",
    "自动轮换",
    "命令行",
    "远程",
    "快捷键",
    "右键菜单",
    "服务器重启",
    "未知",
    "该路径不是普通文件",
    "由更新版本的程序创建（版本 %1）",
    "历史记录数据库已损坏且无法移开，击杀暂不记入历史：%1（%2；%3）",
    "历史记录数据库已损坏，已移到一旁并新建：%1（%2）",
    "历史记录数据库已损坏，已移到一旁，但无法新建，击杀暂不记入历史：%1（%2；%3）",
    "无法打开历史记录数据库，击杀暂不记入历史：%1（%2）",
    "历史记录写入失败，%1 条击杀未记入（%2）",
    "历史记录不可用",
    "无法写入 %1",
    "房间连接已经启动",
    "无法创建 MQTT 客户端",
    "无法加载 MQTT 库：%1",
    "用户名不被接受：%1",
    "无法使用 CA 文件“%1”",
    "无法使用系统的证书颁发机构",
    "无法连接到服务器",
    "连接已断开",
    "服务器拒绝了用户名或密码（未授权）",
    "服务器不允许读取房间的主题",
    "TLS 连接失败：服务器的证书不受信任或与主机名不符",
    "TLS 连接失败（%1）",
    "“%1”中没有证书（需要 PEM 格式的 CA 证书）",
    "服务器在该端口不使用 TLS（可能是 mqtt:// 的普通端口）",
    "击杀时间在将来：晚于现在超过 %1 秒",
    "重复击杀过早：距上次击杀 %1 分钟，该 BOSS 约 %2 分钟才刷新",
    "一分钟内超过 %1 次击杀",
    "只有官员可以撤回其他成员的击杀",
    "只读",
    "记录员",
    "官员",
    "成员（服务器未分角色）",
    "你的账户在此房间只能接收，不能发送",
    "服务器不允许你的账户发送这条消息",
    "消息太大，服务器拒收",
    "超出服务器的配额",
    "服务器已禁止此账户",
    "服务器暂时不可用",
    "服务器管理员断开了连接（账户可能已被撤销）",
    "另一个相同标识的客户端连接了服务器",
    "服务器正在关闭",
    "服务器拒绝：%1（代码 %2）",
    "服务器不支持 MQTT 5（需要 mosquitto 1.6 或更新版本等支持 MQTT 5 的服务器）",
    "服务器拒收了 %1：%2",
    "这条击杀不在房间的记录中，无法撤回",
    "房间记录未能写入历史记录数据库：%1（%2）",
    "房间链接以 mqtt:// 或 mqtts:// 开头",
    "链接中没有房间（主机之后应为 …/房间）",
    "密码不应写在链接中，请在首选项中输入",
    "“@”之前的用户名为空或含有不允许的字符",
    "IPv6 地址缺少结尾的“]”",
    "“%1”不是 IPv6 地址",
    "IPv6 地址之后有多余的文字",
    "“:”之后的端口为空",
    "链接中没有主机",
    "“%1”不是主机名或地址",
    "端口须为 1 到 65535 之间的数字",
    "房间名长于 %1 字节",
    "房间名含有空格或控制字符",
    "房间名不能含有“%1”",
    "已取消",
    "下载失败：%1",
    "页面中没有位于“【”和“】”之间的公告",
    "%1；%2",
    "地址里没有主机名，或端口超出范围",
    "无法建立这个请求",
    "回答大于 %1 字节",
    "%1 %2后刷新",
    "%1 刷新窗口已开启",
    "%1 现在刷新",
    "%1 已刷新 %2 分钟，仍未记录击杀",
    "%1 分钟",
    "%1 秒",
    "刷新时间 %1",
    "服务器回答 HTTP %1",
    "服务器回答 HTTP %1：%2",
    "%1 秒内没有回答",
    "尝试 %1 次后放弃：%2",
    "%1 条提醒已过时，未发送",
    "待发送的提醒过多，已丢弃 %1 条",
    "推送地址须以 http:// 或 https:// 开头并含有主机名",
    "Discord Webhook 地址形如 https://discord.com/api/webhooks/数字/令牌",
    "ntfy 地址形如 https://ntfy.sh/主题（主题只含字母、数字、- 和 _，最多 64 个）",
    "未知的推送类型“%1”",
    "无法读取推送设置 %1",
    "推送设置 %1 不是有效的 JSON（第 %2 字节），推送已关闭，文件保持原样",
    "推送设置 %1 中的第 %2 个目标已跳过：%3",
    "推送到“%1”失败：%2",
    "无法启动推送程序 %1：%2",
    "首领列表大于 %1 MB",
    "首领列表不是有效的 JSON（第 %1 字节）",
    "这不是 Zorvane 的首领列表",
    "首领列表的版本是 %1，本程序只读得懂版本 %2",
    "首领列表嵌套超过 %1 层",
    "“%1”超过 %2 项",
    "“%1”：%2",
    "第 %1 个首领（%2）的“%3”：%4",
    "类型不对",
    "应为 %1 到 %2 之间的整数",
    "读不懂规则“%1”",
    "读不懂时区“%1”",
    "长于 %1 字节",
    "名字“%1”为空、有控制字符、首尾有空白或长于 %2 字节，config.ini 存不下",
    "第 %1 个首领没有名字",
    "首领“%1”出现了不止一次",
    "服务器“%1”不在列表的服务器中",
    "无法读取首领列表 %1：%2",
    "无法写入首领列表 %1：%2",
    "表中有 %1 行叫这个名字，未改动",
    "给了服务器却没有分线",
};

} // namespace

Message Message::literal(std::string text) {
    Message message(MessageId::Literal);
    message.m_literal = std::move(text);
    return message;
}

std::string_view messageTemplate(MessageId id) {
    const auto index = static_cast<std::size_t>(id);
    return index < kTemplates.size() ? kTemplates[index] : std::string_view();
}

std::string fillTemplate(std::string_view pattern, const std::vector<std::string>& values) {
    std::string out;
    out.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
            pattern[i + 1] <= '9') {
            const auto value = static_cast<std::size_t>(pattern[i + 1] - '1');
            if (value < values.size()) {
                out += values[value];
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

std::string defaultText(const Message& message) {
    if (message.id == MessageId::Literal) {
        return message.literalText();
    }
    std::vector<std::string> values;
    values.reserve(message.args.size());
    for (const Message& arg : message.args) {
        values.push_back(defaultText(arg));
    }
    return fillTemplate(messageTemplate(message.id), values);
}

namespace {

constexpr std::string_view kLineMark = "zorvane-message:";

// L<bytes>:<text> for a literal, M<id>,<count>:<values> for a message.
void writeMessage(const Message& message, std::string& out) {
    if (message.id == MessageId::Literal) {
        std::string text = message.literalText();
        for (char& c : text) {
            if (c == '\n' || c == '\r') {
                c = ' ';
            }
        }
        out += 'L' + std::to_string(text.size()) + ':' + text;
        return;
    }
    out += 'M' + std::to_string(static_cast<int>(message.id)) + ',' +
           std::to_string(message.args.size()) + ':';
    for (const Message& arg : message.args) {
        writeMessage(arg, out);
    }
}

bool readNumber(std::string_view& in, char end, std::size_t& value) {
    value = 0;
    std::size_t digits = 0;
    while (digits < in.size() && in[digits] >= '0' && in[digits] <= '9' && digits < 9) {
        value = value * 10 + static_cast<std::size_t>(in[digits] - '0');
        ++digits;
    }
    if (digits == 0 || digits >= in.size() || in[digits] != end) {
        return false;
    }
    in.remove_prefix(digits + 1);
    return true;
}

bool readOne(std::string_view& in, Message& out, int depth) {
    if (in.empty() || depth > 8) {
        return false;
    }
    const char kind = in.front();
    in.remove_prefix(1);
    std::size_t first = 0;
    if (kind == 'L') {
        if (!readNumber(in, ':', first) || first > in.size()) {
            return false;
        }
        out = Message::literal(std::string(in.substr(0, first)));
        in.remove_prefix(first);
        return true;
    }
    std::size_t count = 0;
    if (kind != 'M' || !readNumber(in, ',', first) || !readNumber(in, ':', count) ||
        first <= static_cast<std::size_t>(MessageId::Literal) ||
        first >= static_cast<std::size_t>(MessageId::Count) || count > 9) {
        return false;
    }
    out = Message(static_cast<MessageId>(first));
    out.args.resize(count);
    for (Message& arg : out.args) {
        if (!readOne(in, arg, depth + 1)) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string messageLine(const Message& message) {
    std::string out(kLineMark);
    writeMessage(message, out);
    return out;
}

std::optional<Message> readMessage(std::string_view line) {
    if (line.substr(0, kLineMark.size()) != kLineMark) {
        return std::nullopt;
    }
    line.remove_prefix(kLineMark.size());
    Message message;
    if (!readOne(line, message, 0) || !line.empty()) {
        return std::nullopt;
    }
    return message;
}

} // namespace zorvane::text
