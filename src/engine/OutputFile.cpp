#include "OutputFile.h"

namespace engine {

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::error_code ec;
    if (std::filesystem::exists(a, ec) && std::filesystem::exists(b, ec)) {
        const bool same = std::filesystem::equivalent(a, b, ec);
        if (!ec)
            return same;
    }
    const auto ca = std::filesystem::weakly_canonical(a, ec);
    if (ec)
        return false;
    const auto cb = std::filesystem::weakly_canonical(b, ec);
    return !ec && ca == cb;
}

RemoveResult removeOldOutput(const std::filesystem::path& output)
{
    std::error_code ec;
    const auto status = std::filesystem::status(output, ec);
    if (!std::filesystem::exists(status))
        return RemoveResult::Absent;
    if (!std::filesystem::is_regular_file(status))
        return RemoveResult::NotRegular;
    if (!std::filesystem::remove(output, ec) || ec)
        return RemoveResult::Failed;
    return RemoveResult::Removed;
}

} // namespace engine
