#pragma once
// Code page 932 text with the exact Windows mapping. Used only at the edges: decoding
// file bytes for display, encoding what the user types.

#include "engine/DelimiterTable.h"
#include "engine/Encoding.h"

#include <QString>
#include <QStringList>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// False when this Qt has no code page 932 converter with the Windows table; without one
// every item would show empty.
bool cp932Available();

QString decodeCp932(std::string_view bytes);

// Decodes many pieces with one converter: opening a converter costs more than a
// short item does.
QStringList decodeCp932Each(const std::vector<std::string_view>& pieces);

// nullopt when some character has no code page 932 form.
std::optional<std::string> encodeCp932(const QString& text);

// Encodes text that is only shown again (a delimiter's name): characters without a
// code page 932 form are replaced.
std::string encodeCp932Replacing(const QString& text);

// Encodes a delimiter typed by the user. Text that code page 932 cannot represent
// becomes a string of two or more characters, which by the matching rules never
// matches a character of a line.
std::string encodeDelimiter(const QString& text);

// A source's bytes for display in the source's encoding: UTF-8 with every byte that
// forms no character shown as U+FFFD, or code page 932 as above.
QString decodeSource(std::string_view bytes, engine::Encoding encoding);
QStringList decodeSourceEach(const std::vector<std::string_view>& pieces, engine::Encoding encoding);

// A typed delimiter in the source's encoding; what the encoding cannot hold never matches.
std::string encodeDelimiter(const QString& text, engine::Encoding encoding);

// engine::delimitersFor with this platform's code page 932 table.
engine::DelimiterTable delimitersFor(const engine::DelimiterTable& table, engine::Encoding encoding);

// A path as the file system of this platform expects it, and back.
std::filesystem::path toPath(const QString& path);
QString fromPath(const std::filesystem::path& path);

} // namespace platform
