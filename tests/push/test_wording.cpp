#include "push/alertevent.h"
#include "push/wording.h"

#include <gtest/gtest.h>

#include <string>

namespace push = zorvane::push;
namespace text = zorvane::text;

namespace {

const push::Templates kEnglish = {
    {text::MessageId::PushLeadTitle, "%1 spawns in %2"},
    {text::MessageId::PushMinutes, "%1 min"},
    {text::MessageId::PushSpawnTitle, "%1 spawns now"},
};

// The templates the window hands over survive the argument, and fill titles and their
// values; what is not handed over (or cannot be read) stays Chinese.
TEST(PushWording, PostsAreWordedWithTheTemplatesHandedOver) {
    const push::AlertEvent lead{push::AlertKind::LeadTime, 5, "火龙", "3线", "二区", 1000 + 300};
    const push::AlertEvent spawn{push::AlertKind::Spawn, 0, "Hydra", "", "", 1000};
    const push::AlertEvent open{push::AlertKind::WindowOpen, 0, "Hydra", "", "", 1000};
    const struct {
        const char* name;
        std::string argument;
        const push::AlertEvent& event;
        std::string title;
    } cases[] = {
        {"English lead", push::templatesArgument(kEnglish), lead,
         "火龙 3线 @ 二区 spawns in 5 min"},
        {"English spawn", push::templatesArgument(kEnglish), spawn, "Hydra spawns now"},
        {"a message not handed over", push::templatesArgument(kEnglish), open,
         "Hydra 刷新窗口已开启"},
        {"none handed over", push::templatesArgument({}), lead, "火龙 3线 @ 二区 5 分钟后刷新"},
        {"not JSON", "{not json", lead, "火龙 3线 @ 二区 5 分钟后刷新"},
        {"a template that is no text", R"({"111":5})", lead, "火龙 3线 @ 二区 5 分钟后刷新"},
    };
    for (const auto& c : cases) {
        const push::Templates templates = push::readTemplatesArgument(c.argument);
        EXPECT_EQ(push::wordedWith(templates, push::eventTitle(c.event, 1000)), c.title) << c.name;
    }
}

// Only the messages of a post are taken: the argument cannot reword anything else.
TEST(PushWording, OnlyPostedMessagesAreRead) {
    const push::Templates read = push::readTemplatesArgument(push::templatesArgument(
        {{text::MessageId::PushGaveUp, "x"}, {text::MessageId::PushDueAt, "spawn time %1"}}));
    EXPECT_EQ(read, (push::Templates{{text::MessageId::PushDueAt, "spawn time %1"}}));
}

} // namespace
