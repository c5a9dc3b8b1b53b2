#include "schedule/cycletexts.h"

#include <cstring>

namespace zorvane::schedule {
namespace {

constexpr std::size_t kLengthBytes = sizeof(std::uint32_t);

} // namespace

CycleTexts::CycleTexts(std::string_view last, std::string_view next, std::string_view period,
                       std::string_view delay) {
    const std::array<std::string_view, kTexts> texts{last, next, period, delay};
    std::size_t total = 0;
    bool fitsInline = true;
    for (const std::string_view text : texts) {
        total += text.size();
        fitsInline = fitsInline && text.size() <= 0xff;
    }
    fitsInline = fitsInline && total <= kInlineBytes;
    if (fitsInline) {
        char* out = m_inline.data();
        for (int i = 0; i < kTexts; ++i) {
            m_lengths[static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(texts[static_cast<std::size_t>(i)].size());
            std::memcpy(out, texts[static_cast<std::size_t>(i)].data(),
                        texts[static_cast<std::size_t>(i)].size());
            out += texts[static_cast<std::size_t>(i)].size();
        }
        return;
    }
    m_spill = std::make_unique<char[]>(kTexts * kLengthBytes + total);
    char* lengths = m_spill.get();
    char* out = lengths + kTexts * kLengthBytes;
    for (const std::string_view text : texts) {
        const auto length = static_cast<std::uint32_t>(text.size());
        std::memcpy(lengths, &length, kLengthBytes);
        lengths += kLengthBytes;
        std::memcpy(out, text.data(), text.size());
        out += text.size();
    }
}

CycleTexts::CycleTexts(const CycleTexts& other)
    : CycleTexts(other.text(0), other.text(1), other.text(2), other.text(3)) {}

CycleTexts& CycleTexts::operator=(const CycleTexts& other) {
    if (this != &other) {
        *this = CycleTexts(other);
    }
    return *this;
}

std::string_view CycleTexts::text(int index) const {
    if (index < 0 || index >= kTexts) {
        return {};
    }
    if (!m_spill) {
        std::size_t start = 0;
        for (int i = 0; i < index; ++i) {
            start += m_lengths[static_cast<std::size_t>(i)];
        }
        return {m_inline.data() + start, m_lengths[static_cast<std::size_t>(index)]};
    }
    std::size_t start = kTexts * kLengthBytes;
    std::uint32_t length = 0;
    for (int i = 0; i <= index; ++i) {
        std::memcpy(&length, m_spill.get() + static_cast<std::size_t>(i) * kLengthBytes,
                    kLengthBytes);
        if (i < index) {
            start += length;
        }
    }
    return {m_spill.get() + start, length};
}

bool CycleTexts::same(std::string_view last, std::string_view next, std::string_view period,
                      std::string_view delay) const {
    return text(0) == last && text(1) == next && text(2) == period && text(3) == delay;
}

} // namespace zorvane::schedule
