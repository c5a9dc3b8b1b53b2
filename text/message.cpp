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
    "无法加载 SDL2 声音库",
    "无法播放所选的声音文件：%1\n原因：%2\n预警时将播放内置声音。",
    "双击",
    "输入",
    "自动轮换",
    "命令行",
    "远程",
    "快捷键",
    "右键菜单",
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

} // namespace zorvane::text
