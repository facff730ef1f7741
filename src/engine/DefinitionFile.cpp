#include "DefinitionFile.h"

#include "LineProcessing.h"
#include "LineReader.h"
#include "OutputFile.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>

namespace engine {

std::string formatDefinition(const std::vector<int>& itemNumbers)
{
    std::string text = "CSV\r\n";
    for (int n : itemNumbers) {
        text += std::to_string(n);
        text += "\r\n";
    }
    return text;
}

bool writeDefinition(const std::filesystem::path& path, const std::vector<int>& itemNumbers)
{
    const std::string text = formatDefinition(itemNumbers);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.is_open())
        return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    return static_cast<bool>(out);
}

int definitionNumber(std::string_view line)
{
    if (!isNumeric(line))
        return 0;
    // isNumeric has accepted it: keep sign, digits, point and exponent, drop blanks and
    // grouping commas, and read it without regard to the machine's locale.
    std::string plain;
    for (char c : line)
        if (c != ' ' && c != '\t' && c != ',' && c != '+')
            plain += c;
    double value = 0;
    const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error != std::errc() || end != plain.data() + plain.size())
        return 0;
    // The default rounding mode takes a half to the even neighbour.
    const double rounded = std::nearbyint(value);
    // Any item number the window and the writer accept reads back; beyond that, 0.
    if (!(rounded >= std::numeric_limits<int>::min() && rounded <= std::numeric_limits<int>::max()))
        return 0;
    return static_cast<int>(rounded);
}

namespace {

Definition readDefinitionFrom(ByteSource& in)
{
    Definition result;
    LineReader reader(in, 64 * 1024);
    // A definition's lines end at CR LF or a lone CR only, whatever the file holds: a lone
    // LF is part of its line, so a file of LF lines is one line.
    reader.keepLoneLf();
    std::string_view line;
    if (!reader.next(line) || line.substr(0, 3) != "CSV") {
        result.status = reader.readError() || reader.lineTooLong() ? Definition::Status::CannotOpen
                                                                   : Definition::Status::NotADefinition;
        return result;
    }
    while (reader.next(line))
        result.itemNumbers.push_back(definitionNumber(line));
    result.status =
        reader.readError() || reader.lineTooLong() ? Definition::Status::CannotOpen : Definition::Status::Ok;
    return result;
}

} // namespace

Definition readDefinition(const std::filesystem::path& path)
{
    // Opened once and read through the same handle: a named pipe can be opened only once.
    SourceFile file;
    if (file.open(path) != FileProblem::None)
        return Definition{};
    return readDefinitionFrom(file);
}

Definition readDefinition(std::istream& in)
{
    StreamSource source(in);
    return readDefinitionFrom(source);
}

} // namespace engine
