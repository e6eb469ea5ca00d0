#pragma once
// The last few results of a pure parse of short texts. A drawing sets the same handful of
// colours and fonts for every element it paints, and replaying a frame would otherwise parse
// them again each time. Meant to live in a thread_local: it is not guarded.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace dv {

template <typename Result, std::size_t N = 8>
class RecentParses {
public:
    // Texts longer than this are parsed each time rather than kept.
    static constexpr std::size_t MAX_KEPT_LENGTH = 64;

    template <typename Parse>
    Result get(std::string_view text, Parse&& parse) {
        if (text.size() > MAX_KEPT_LENGTH) return parse(text);
        for (const Entry& entry : entries_) {
            if (entry.used && entry.text == text) return entry.result;
        }
        Entry& entry = entries_[next_];
        next_ = (next_ + 1) % N;
        entry.result = parse(text);
        entry.text.assign(text);
        entry.used = true;
        return entry.result;
    }

private:
    struct Entry {
        bool used = false;
        std::string text;
        Result result{};
    };
    std::array<Entry, N> entries_{};
    std::size_t next_ = 0;
};

} // namespace dv
