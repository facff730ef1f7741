#pragma once
// A byte source that gives 1 to 7 bytes a read, as a pipe written in small pieces does.

#include "engine/LineReader.h"

#include <algorithm>
#include <cstring>
#include <string>

class PieceSource : public engine::ByteSource {
public:
    explicit PieceSource(std::string bytes) : bytes_(std::move(bytes)) {}
    std::int64_t read(char* to, std::size_t bytes) override
    {
        const std::size_t n = std::min({bytes, bytes_.size() - at_, std::size_t{1} + reads_++ % 7});
        std::memcpy(to, bytes_.data() + at_, n);
        at_ += n;
        return static_cast<std::int64_t>(n);
    }

private:
    std::string bytes_;
    std::size_t at_ = 0;
    std::size_t reads_ = 0;
};
