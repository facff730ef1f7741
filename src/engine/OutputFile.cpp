#include "OutputFile.h"

namespace engine {

namespace fs = std::filesystem;

bool sameFile(const fs::path& a, const fs::path& b)
{
    const FileIdentity ia = os::identityOf(a);
    const FileIdentity ib = os::identityOf(b);
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

FileProblem SourceFile::open(const fs::path& path)
{
    os::NativeFile::OpenError error;
    file_ = os::NativeFile::openRead(path, error);
    switch (error) {
    case os::NativeFile::OpenError::None:
        break;
    case os::NativeFile::OpenError::Missing:
        return FileProblem::Missing;
    case os::NativeFile::OpenError::IsDirectory:
        return FileProblem::NotAFile;
    default:
        return FileProblem::CannotOpen;
    }
    if (file_.isDirectory()) {
        file_.close();
        return FileProblem::NotAFile;
    }
    return FileProblem::None;
}

FileProblem SourceFile::openDescriptor(int fd)
{
    file_ = os::NativeFile::descriptor(fd);
    if (!file_.isOpen())
        return FileProblem::CannotOpen;
    return file_.isDirectory() ? FileProblem::NotAFile : FileProblem::None;
}

OutputProblem OutputTarget::open(const fs::path& path, const FileIdentity& notThis)
{
    // A link is written through, as the command line writes through it.
    switch (claim_.claim(resolveLinks(path), os::OutputClaim::IfMissing::Create)) {
    case os::OutputClaim::Result::Claimed:
        // Checked on the open handle: whatever the path's spelling, this is the file written.
        if (claim_.file().identity() == notThis) {
            claim_.release(false);
            return OutputProblem::IsSource;
        }
        regular_ = true;
        base_ = claim_.file().size();
        if (claim_.created() && permissions_.known)
            claim_.file().setPermissions(permissions_);
        return OutputProblem::None;
    case os::OutputClaim::Result::Busy:
        return OutputProblem::Busy;
    case os::OutputClaim::Result::Failed:
        return OutputProblem::CannotCreate;
    case os::OutputClaim::Result::NotRegular:
        break;
    }
    // A device or a named pipe: written as it is, never locked, cut or removed.
    os::NativeFile::OpenError error;
    os::NativeFile device = os::NativeFile::openAppend(path, false, error);
    if (!device.isOpen() || device.isRegular())
        return OutputProblem::CannotCreate;
    if (device.identity() == notThis)
        return OutputProblem::IsSource;
    file_ = std::move(device);
    regular_ = false;
    base_ = 0;
    return OutputProblem::None;
}

bool OutputTarget::openDescriptor(int fd)
{
    file_ = os::NativeFile::descriptor(fd);
    regular_ = false;
    base_ = 0;
    return file_.isOpen();
}

void OutputTarget::adopt(os::NativeFile file)
{
    file_ = std::move(file);
    regular_ = true;
    base_ = 0;
}

bool OutputTarget::cutBack(std::uint64_t bytes)
{
    return regular_ && isOpen() && file().truncate(base_ + bytes);
}

bool OutputTarget::close()
{
    bool ok = file_.closeChecked();
    if (claim_.claimed()) {
        ok = claim_.file().closeChecked() && ok;
        claim_.release(false);
    }
    return ok;
}

ReplacedOutput::~ReplacedOutput()
{
    if (active_)
        claim_.release(true);
}

OutputProblem ReplacedOutput::begin(const fs::path& output, OutputTarget& target, const FileIdentity& notThis)
{
    switch (claim_.claim(resolveLinks(output), os::OutputClaim::IfMissing::Create)) {
    case os::OutputClaim::Result::Claimed:
        break;
    case os::OutputClaim::Result::Busy:
        return OutputProblem::Busy;
    default:
        return OutputProblem::CannotCreate;
    }
    if (claim_.file().identity() == notThis) {
        claim_.release(false);
        return OutputProblem::IsSource;
    }
    os::NativeFile temporary;
    if (!claim_.makeTemporary(temporary)) {
        claim_.release(true);
        return OutputProblem::CannotCreate;
    }
    target.adopt(std::move(temporary));
    active_ = true;
    return OutputProblem::None;
}

OutputProblem ReplacedOutput::commit(OutputTarget& target)
{
    active_ = false;
    const os::OutputClaim::Commit result = claim_.commit(target.file());
    target.close();
    switch (result) {
    case os::OutputClaim::Commit::Done:
        return OutputProblem::None;
    case os::OutputClaim::Commit::Changed:
        return OutputProblem::Changed;
    default:
        return OutputProblem::CannotReplace;
    }
}

void ReplacedOutput::abandon(OutputTarget& target)
{
    target.close();
    if (active_)
        claim_.release(true);
    active_ = false;
}

} // namespace engine
