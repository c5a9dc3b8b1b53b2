// The texts the tick keeps per row to notice edits: every change of any of the four, also
// one that only moves bytes from one text to the next, must be seen, whether the texts fit
// the short form or not.

#include "schedule/cycletexts.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>

using zorvane::schedule::CycleTexts;

namespace {

using Texts = std::array<std::string, 4>;

CycleTexts keep(const Texts& texts) {
    return {texts[0], texts[1], texts[2], texts[3]};
}

bool same(const CycleTexts& kept, const Texts& texts) {
    return kept.same(texts[0], texts[1], texts[2], texts[3]);
}

struct Case {
    const char* name;
    Texts kept;
};

const Case kCases[] = {
    {"usual clock times", {"12:00:00", "13:00:00", "60", "0"}},
    {"all empty", {"", "", "", ""}},
    {"exactly the short form's room", {"2026-12-10 12:00", "13:00", "120", "5"}},
    {"one byte over it", {"2026-12-10 12:00:", "13:00", "120", "5"}},
    {"a text over 255 bytes", {std::string(300, 'x'), "13:00:00", "60", "0"}},
    {"Chinese texts", {"十二点", "十三点整", "六十", "零"}},
    {"bytes that end a C string", {std::string("12\0:00", 6), "13:00:00", "6", "0"}},
};

} // namespace

TEST(CycleTexts, KeepsEveryTextAsGiven) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const CycleTexts kept = keep(c.kept);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(kept.text(i), c.kept[static_cast<std::size_t>(i)]);
        }
        EXPECT_TRUE(same(kept, c.kept));
        EXPECT_EQ(kept.text(4), "");
        EXPECT_EQ(kept.text(-1), "");
    }
}

TEST(CycleTexts, SeesEveryChange) {
    // Each change is applied to each case's texts; none may pass as the same.
    const std::pair<const char*, void (*)(Texts&)> changes[] = {
        {"last changed", [](Texts& t) { t[0] += "1"; }},
        {"next changed", [](Texts& t) { t[1] = t[1].empty() ? "1" : t[1].substr(1); }},
        {"period changed", [](Texts& t) { t[2] = "61"; }},
        {"delay changed", [](Texts& t) { t[3] = "7"; }},
        {"a byte moved from delay to period",
         [](Texts& t) {
             // "60" + "0" becomes "600" + "": the bytes one after another stay the same.
             if (t[3].empty()) {
                 t[3] = "0";
             } else {
                 t[2] += t[3].substr(0, 1);
                 t[3] = t[3].substr(1);
             }
         }},
        {"last and next swapped",
         [](Texts& t) {
             std::swap(t[0], t[1]);
             if (t[0] == t[1]) {
                 t[0] += "!";
             }
         }},
        {"delay emptied", [](Texts& t) { t[3] = t[3].empty() ? "0" : ""; }},
        {"a long last time", [](Texts& t) { t[0] = std::string(400, 'y'); }},
    };
    for (const Case& c : kCases) {
        const CycleTexts kept = keep(c.kept);
        for (const auto& [name, change] : changes) {
            SCOPED_TRACE(std::string(c.name) + ": " + name);
            Texts edited = c.kept;
            change(edited);
            ASSERT_NE(edited, c.kept);
            EXPECT_FALSE(same(kept, edited));
        }
    }
}

TEST(CycleTexts, CopiesAndMovesKeepTheTexts) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const CycleTexts kept = keep(c.kept);
        CycleTexts copy = kept;
        EXPECT_TRUE(same(copy, c.kept));
        CycleTexts assigned({"a", "b", "c", "d"});
        assigned = copy;
        EXPECT_TRUE(same(assigned, c.kept));
        const CycleTexts moved = std::move(copy);
        EXPECT_TRUE(same(moved, c.kept));
        // The copy is its own: replacing the original leaves it alone.
        CycleTexts replaced = kept;
        replaced = CycleTexts("1", "2", "3", "4");
        EXPECT_TRUE(same(assigned, c.kept));
        EXPECT_TRUE(replaced.same("1", "2", "3", "4"));
    }
}
