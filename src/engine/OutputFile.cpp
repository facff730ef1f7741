#include "OutputFile.h"

namespace engine {

namespace fs = std::filesystem;

bool sameFile(const fs::path& a, const fs::path& b)
{
    const FileIdentity ia = platform::identityOf(a);
    const FileIdentity ib = platform::identityOf(b);
    if (ia.known && ib.known)
        return ia == ib;
    std::error_code ec;
    const auto ca = fs::weakly_canonical(a, ec);
    if (ec)
        return false;
    const auto cb = fs::weakly_canonical(b, ec);
    return !ec && ca == cb;
}

RemoveResult removeOldOutput(const fs::path& output)
{
    std::error_code ec;
    const auto status = fs::status(output, ec);
    if (!fs::exists(status))
        return RemoveResult::Absent;
    if (!fs::is_regular_file(status))
        return RemoveResult::NotRegular;
    if (!fs::remove(output, ec) || ec)
        return RemoveResult::Failed;
    return RemoveResult::Removed;
}

fs::path resolveLinks(const fs::path& path)
{
    fs::path at = path;
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(at, ec)); ++hops) {
        const fs::path target = fs::read_symlink(at, ec);
        if (ec)
            break;
        at = target.is_absolute() ? target : at.parent_path() / target;
    }
    return at;
}

SourceFile::Problem SourceFile::open(const fs::path& path)
{
    platform::NativeFile::OpenError error;
    file_ = platform::NativeFile::openRead(path, error);
    switch (error) {
    case platform::NativeFile::OpenError::None:
        break;
    case platform::NativeFile::OpenError::Missing:
        return Problem::Missing;
    case platform::NativeFile::OpenError::IsDirectory:
        return Problem::NotAFile;
    default:
        return Problem::CannotOpen;
    }
    if (file_.isDirectory()) {
        file_.close();
        return Problem::NotAFile;
    }
    return Problem::None;
}

SourceFile::Problem SourceFile::openStandardInput()
{
    file_ = platform::NativeFile::standardInput();
    return file_.isDirectory() ? Problem::NotAFile : Problem::None;
}

OutputTarget::Problem OutputTarget::open(const fs::path& path, const FileIdentity& notThis)
{
    platform::NativeFile::OpenError error;
    platform::NativeFile file = platform::NativeFile::openAppend(path, true, error);
    if (!file.isOpen())
        return Problem::CannotCreate;
    // Checked on the open handle: whatever the path's spelling, this is the file written.
    if (file.identity() == notThis)
        return Problem::IsSource;
    regular_ = file.isRegular();
    if (regular_ && !file.tryLock())
        return Problem::Busy;
    base_ = file.size();
    file_ = std::move(file);
    return Problem::None;
}

void OutputTarget::openStandardOutput()
{
    file_ = platform::NativeFile::standardOutput();
    regular_ = false;
    base_ = 0;
}

void OutputTarget::discardContents()
{
    if (regular_ && file_.truncate(0))
        base_ = 0;
}

void OutputTarget::cutBack(std::uint64_t bytes)
{
    if (regular_ && file_.isOpen())
        file_.truncate(base_ + bytes);
}

ReplacedOutput::~ReplacedOutput()
{
    if (active_) {
        platform::removeFile(temporary_);
        platform::keepOnInterrupt();
    }
}

ReplacedOutput::Problem ReplacedOutput::begin(const fs::path& output, OutputTarget& target,
                                              const FileIdentity& notThis)
{
    // A link is written through: the temporary file goes beside its target.
    output_ = resolveLinks(output);
    temporary_ = output_;
    temporary_ += ".tolvane-tmp";
    platform::NativeFile::OpenError error;
    heldOutput_ = platform::NativeFile::openAppend(output_, false, error);
    if (heldOutput_.isOpen() && !heldOutput_.tryLock())
        return Problem::Busy;
    switch (target.open(temporary_, notThis)) {
    case OutputTarget::Problem::None:
        break;
    case OutputTarget::Problem::Busy:
        return Problem::Busy;
    default:
        return Problem::CannotCreate;
    }
    active_ = true;
    platform::removeOnInterrupt(temporary_);
    // A temporary file left by a run that was killed is started afresh.
    target.discardContents();
    return Problem::None;
}

ReplacedOutput::Problem ReplacedOutput::commit(OutputTarget& target)
{
    // An output created meanwhile by a run that still writes it is not replaced.
    if (!heldOutput_.isOpen()) {
        platform::NativeFile::OpenError error;
        platform::NativeFile current = platform::NativeFile::openAppend(output_, false, error);
        if (current.isOpen() && current.isRegular() && !current.tryLock()) {
            abandon(target);
            return Problem::Busy;
        }
    }
    if (!platform::replaceFile(temporary_, output_, heldOutput_)) {
        abandon(target);
        return Problem::CannotReplace;
    }
    active_ = false;
    platform::keepOnInterrupt();
    target.close();
    heldOutput_.close();
    return Problem::None;
}

void ReplacedOutput::abandon(OutputTarget& target)
{
    target.close();
    if (active_)
        platform::removeFile(temporary_);
    active_ = false;
    platform::keepOnInterrupt();
    heldOutput_.close();
}

} // namespace engine
