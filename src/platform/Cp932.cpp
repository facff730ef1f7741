#include "Cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace platform {

namespace {
// ICU's "CP932" table is the Windows one (0x5C -> U+005C, 0x815F -> U+FF3C, NEC and
// IBM extensions); iconv's "SHIFT_JIS" is not, so the name matters.
constexpr const char* kCodec = "CP932";
} // namespace

QString decodeCp932(std::string_view bytes)
{
    QStringDecoder decoder(kCodec, QStringConverter::Flag::Stateless);
    return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

QStringList decodeCp932Each(const std::vector<std::string_view>& pieces)
{
    QStringDecoder decoder(kCodec, QStringConverter::Flag::Stateless);
    QStringList out;
    out.reserve(static_cast<qsizetype>(pieces.size()));
    for (std::string_view piece : pieces) {
        out << decoder.decode(QByteArrayView(piece.data(), static_cast<qsizetype>(piece.size())));
        decoder.resetState();
    }
    return out;
}

std::optional<std::string> encodeCp932(const QString& text)
{
    QStringEncoder encoder(kCodec, QStringConverter::Flag::Stateless);
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes.toStdString();
}

std::string encodeCp932Replacing(const QString& text)
{
    QStringEncoder encoder(kCodec, QStringConverter::Flag::Stateless);
    return QByteArray(encoder.encode(text)).toStdString();
}

std::string encodeDelimiter(const QString& text)
{
    if (auto bytes = encodeCp932(text))
        return *bytes;
    // Two NUL characters: never a single character, so never a match.
    return std::string("\0\0", 2);
}

std::filesystem::path toPath(const QString& path)
{
#ifdef _WIN32
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(path.toUtf8().toStdString());
#endif
}

QString fromPath(const std::filesystem::path& path)
{
#ifdef _WIN32
    return QString::fromStdWString(path.native());
#else
    return QString::fromUtf8(path.native());
#endif
}

} // namespace platform
