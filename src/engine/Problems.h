#pragma once
// Why a file of a run could not be used: one list for the source and one for the output,
// shared by the files that find the problem and the run that reports it.

namespace engine {

// A source file (or a definition file, read the same way).
enum class FileProblem { None, Missing, NotAFile, CannotOpen, ReadFailed, Empty, LineTooLong };

// An output: claimed in place, or written beside and put in its place at the end.
enum class OutputProblem {
    None,
    CannotCreate,
    Busy,     // another run holds it
    IsSource, // the same file as the run's source
    CannotReplace,
    Changed, // removed or replaced by someone else while the run wrote beside it
};

} // namespace engine
