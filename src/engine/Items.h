#pragma once
// Taking a line apart into items. Items keep their quotes and blanks; a delimiter
// inside double quotes is text. Item numbers start at 1; a number below 1 or beyond
// the last item gives the last item.

#include "Encoding.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Item No of line p, split by sDELI. The result views p.
// Lines are code page 932 unless enc says otherwise; the delimiter is in the same encoding.
std::string_view fGetItem(std::string_view p, std::string_view sDELI, std::int64_t No, Encoding enc = Encoding::Cp932);

// Calls onItem(item) for the items of p in order until it returns false: one scan that
// keeps nothing, for a line of millions of items.
void visitItems(std::string_view p, std::string_view sDELI, const std::function<bool(std::string_view)>& onItem,
                Encoding enc = Encoding::Cp932);

// How a line is split: by name at the call, e.g. split(p, d, {.upTo = 3, .enc = enc}).
struct SplitOptions {
    // The highest item number that will be asked for; the scan may stop once that item is
    // complete. 0 (or any number below 1) asks for the whole line.
    std::int64_t upTo = 0;
    // At least 64 bytes after the line may be read (LineReader's lines).
    bool readableBeyond = false;
    // The last item is asked for as well as items 1..upTo; the whole line is scanned, but
    // only the positions needed are kept, so memory does not grow with the number of items.
    bool alsoLast = false;
    // The line's encoding; the delimiter is in the same encoding.
    Encoding enc = Encoding::Cp932;
};

// Splits a line once, so that many items can be taken without scanning again.
// Holds a view of the line it was last given.
class ItemSplitter {
public:
    void split(std::string_view p, std::string_view sDELI, const SplitOptions& options = {});
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

// A line's items for a list that shows them one by one: the line itself and the position
// of each delimiter, four bytes an item, where one string per item would cost many times
// the line. A line of 4 GiB or more is refused (std::length_error).
class LineItems {
public:
    LineItems() = default;
    // Lists items 1..rows of line, split by sDELI; a number beyond the last item lists the
    // last item, as fGetItem does.
    LineItems(std::string line, std::string_view sDELI, std::int64_t rows, Encoding enc = Encoding::Cp932);

    std::size_t size() const { return rows_; }
    bool empty() const { return rows_ == 0; }
    // Row i (from 0) holds item i + 1.
    std::string_view operator[](std::size_t i) const
    {
        const std::size_t k = i < items_ ? i : items_ - 1;
        const std::size_t start = k == 0 ? 0 : cuts_[k - 1] + cutLength_;
        const std::size_t end = k < cuts_.size() ? cuts_[k] : line_.size();
        return std::string_view(line_).substr(start, end - start);
    }

private:
    std::string line_;
    std::vector<std::uint32_t> cuts_;
    std::size_t cutLength_ = 1;
    // Items found: every item of the line, or the first `rows` when there are more.
    std::size_t items_ = 0;
    std::size_t rows_ = 0;
};

} // namespace engine
