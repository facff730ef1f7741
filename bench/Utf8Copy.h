#pragma once
// The UTF-8 benchmark files are the code page 932 ones re-encoded: conversion copies items
// byte for byte and every delimiter, quote and line end is ASCII, so re-encoding a source
// and its expected output gives a UTF-8 source and what converting it must give.

#include <cstddef>
#include <filesystem>
#include <string>

namespace bench {

// Writes `from` (code page 932) to `to` as UTF-8, after EF BB BF when byteOrderMark is
// set, reading `block` bytes at a time. Empty on success, else what went wrong; a byte
// that is not code page 932 is an error, never skipped or replaced.
std::string copyAsUtf8(const std::filesystem::path& from, const std::filesystem::path& to, bool byteOrderMark,
                       std::size_t block = std::size_t(1) << 20);

} // namespace bench
