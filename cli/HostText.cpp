// UTF-8 from the command line and batch files, UTF-16 for the module.
#include "Host.h"

std::optional<std::u16string> utf16FromUtf8(std::string_view text)
{
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int trailing = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
        if (trailing < 0 || lead > 0xF4 || text.size() - i <= static_cast<std::size_t>(trailing)) {
            return std::nullopt;
        }
        char32_t codePoint = trailing == 0 ? lead : lead & (0x3F >> trailing);
        for (int k = 1; k <= trailing; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return std::nullopt;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        static constexpr char32_t kShortestForm[4] = {0, 0x80, 0x800, 0x10000};
        if (codePoint < kShortestForm[trailing] || codePoint > 0x10FFFF
            || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            return std::nullopt;
        }
        if (codePoint >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(codePoint));
        }
        i += static_cast<std::size_t>(trailing) + 1;
    }
    return out;
}

std::size_t utf8SequenceLength(unsigned char lead)
{
    return lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
}

const DTMFWideChar* moduleText(const std::u16string& text)
{
    return reinterpret_cast<const DTMFWideChar*>(text.c_str());
}
