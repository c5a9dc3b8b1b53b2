// Feeds arbitrary bytes to the boss list reader. Whatever comes in is refused with a reason,
// or read into a list whose file reads back to the same list, and a merge of it into a small
// table never names a boss twice.

#include "config/bosslist.h"
#include "schedule/bosstable.h"
#include "text/message.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

using namespace zorvane;

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    text::Message error;
    const std::optional<config::BossList> list = config::decodeBossList(input, error);
    if (!list) {
        check(!error.empty(), "a refusal without a reason");
        return 0;
    }
    text::Message again;
    const std::optional<config::BossList> back =
        config::decodeBossList(config::encodeBossList(*list), again);
    check(back.has_value(), "a list read does not read back once written");
    check(*back == *list, "a list written and read back differs");

    schedule::BossRow row;
    row.text[schedule::kNameColumn] = "黑龙";
    const config::BossListMerge merge = config::planBossListMerge({row}, {}, *list);
    std::set<std::string> named;
    for (const auto& name : merge.report.added) {
        check(named.insert(name).second, "a boss reported twice");
    }
    for (const auto& changed : merge.report.changed) {
        check(named.insert(changed.name).second, "a boss reported twice");
    }
    for (const auto& name : merge.report.unchanged) {
        check(named.insert(name).second, "a boss reported twice");
    }
    check(named.size() + merge.report.skipped.size() == list->bosses.size(),
          "a boss missing from the report");
    return 0;
}
