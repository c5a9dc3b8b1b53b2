#pragma once
// The four texts a row's cycle is read from (last time, next time, period, delay), kept by
// the tick to notice an edit. Copied as four strings they cost 128 bytes a row even when
// short; here the usual short texts sit in one 40-byte value and only longer ones take a
// block of their own. Compared byte for byte, so every edit is seen.

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

namespace zorvane::schedule {

class CycleTexts {
public:
    CycleTexts() = default;
    CycleTexts(std::string_view last, std::string_view next, std::string_view period,
               std::string_view delay);
    CycleTexts(const CycleTexts& other);
    CycleTexts& operator=(const CycleTexts& other);
    CycleTexts(CycleTexts&&) noexcept = default;
    CycleTexts& operator=(CycleTexts&&) noexcept = default;
    ~CycleTexts() = default;

    // True when the four texts are exactly the ones kept.
    bool same(std::string_view last, std::string_view next, std::string_view period,
              std::string_view delay) const;
    // The text kept at `index` (0 last, 1 next, 2 period, 3 delay).
    std::string_view text(int index) const;

private:
    static constexpr int kTexts = 4;
    static constexpr std::size_t kInlineBytes = 28;
    // Inline: the texts one after another in m_inline, their lengths in m_lengths. Spilled
    // (a text over 255 bytes or all over kInlineBytes): m_spill holds four 32-bit lengths,
    // then the texts.
    std::unique_ptr<char[]> m_spill;
    std::array<std::uint8_t, kTexts> m_lengths{};
    std::array<char, kInlineBytes> m_inline{};
};

} // namespace zorvane::schedule
