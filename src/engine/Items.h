#pragma once
// Taking a line apart into items. Items keep their quotes and blanks; a delimiter
// inside double quotes is text. Item numbers start at 1; a number below 1 or beyond
// the last item gives the last item.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Item No of line p, split by sDELI. The result views p.
std::string_view fGetItem(std::string_view p, std::string_view sDELI, std::int64_t No);

// Splits a line once, so that many items can be taken without scanning again.
// Holds a view of the line it was last given.
class ItemSplitter {
public:
    // upTo: the highest item number that will be asked for; the scan may stop once that
    // item is complete. 0 (or any number below 1) asks for the whole line.
    // readableBeyond: at least 64 bytes after the line may be read (LineReader's lines).
    // alsoLast: the last item is asked for as well as items 1..upTo; the whole line is
    // scanned, but only the positions needed are kept, so memory does not grow with
    // the number of items.
    void split(std::string_view p, std::string_view sDELI, std::int64_t upTo = 0, bool readableBeyond = false,
               bool alsoLast = false);
    // Items found; after a split that stopped early, the items up to upTo.
    std::size_t count() const { return complete_ ? cutCount_ + 1 : cutCount_; }
    // Same numbering rule as fGetItem, for numbers up to upTo after an early stop, and
    // for the last item after a split with alsoLast.
    std::string_view item(std::int64_t No) const
    {
        const std::size_t n = count();
        const std::size_t k = (No < 1 || static_cast<std::uint64_t>(No) > n) ? n - 1 : static_cast<std::size_t>(No - 1);
        const std::size_t start = k == 0 ? 0 : cutAt(k - 1) + cutLength_;
        const std::size_t end = k < cutCount_ ? cutAt(k) : line_.size();
        return line_.substr(start, end - start);
    }

private:
    std::string_view line_;
    // Positions of the delimiters that split the line.
    struct Cuts {
        std::unique_ptr<std::size_t[]> at;
        std::size_t capacity = 0;
        // Room for `more` cuts after the first `count`.
        std::size_t* room(std::size_t count, std::size_t more)
        {
            return count + more <= capacity ? at.get() : grow(count, more);
        }
        std::size_t* grow(std::size_t count, std::size_t more);
    };
    Cuts cuts_;
    // Cuts found; only the first `kept_` are stored, and the last one in lastCut_.
    std::size_t cutCount_ = 0;
    std::size_t kept_ = 0;
    std::size_t lastCut_ = 0;
    std::size_t cutAt(std::size_t i) const { return i < kept_ ? cuts_.at[i] : lastCut_; }
    std::size_t cutLength_ = 1;
    // False when the scan stopped before the end of the line.
    bool complete_ = true;
};

} // namespace engine
