#include "Cp932.h"

#include "engine/Cp932Chars.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <vector>

namespace platform {

namespace {

// ICU's "CP932" table is the Windows one for every double-byte character (0x815F ->
// U+FF3C, NEC and IBM extensions); iconv's "SHIFT_JIS" is not, so the name matters. Its
// single bytes are not quite Windows' (it swaps 0x1A, 0x1C and 0x7F and rejects 0x80,
// 0xA0 and 0xFD-0xFF), so single bytes never reach it.
constexpr const char* kCodec = "CP932";

// A lead byte without its second byte shows as the converter shows it: its substitute
// for an invalid sequence.
constexpr char16_t kLoneLeadByte = u'\x1A';

// A byte from 0x80 up that does not start a double-byte character, as Windows reads it.
char16_t singleByteChar(unsigned char b)
{
    if (b >= 0xA1 && b <= 0xDF)
        return static_cast<char16_t>(0xFF61 + (b - 0xA1));
    if (b >= 0xFD)
        return static_cast<char16_t>(0xF8F1 + (b - 0xFD));
    if (b == 0xA0)
        return u'\uF8F0';
    if (b == 0x80)
        return u'\u0080';
    return kLoneLeadByte;
}

std::optional<unsigned char> singleByteOf(char16_t c)
{
    if (c < 0x80)
        return static_cast<unsigned char>(c);
    if (c >= 0xFF61 && c <= 0xFF9F)
        return static_cast<unsigned char>(0xA1 + (c - 0xFF61));
    if (c >= 0xF8F1 && c <= 0xF8F3)
        return static_cast<unsigned char>(0xFD + (c - 0xF8F1));
    if (c == 0xF8F0)
        return 0xA0;
    if (c == 0x80)
        return 0x80;
    return std::nullopt;
}

// Decodes line after line with one converter: display text is wanted for long lines and
// for many short items alike.
class Decoder {
public:
    static constexpr std::size_t kSlice = 4096;

    QString decode(std::string_view bytes)
    {
        const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
        const std::size_t n = bytes.size();
        // Every byte gives at most one UTF-16 unit.
        QString out(static_cast<qsizetype>(n), Qt::Uninitialized);
        qsizetype used = 0;
        std::size_t i = 0;
        while (i < n) {
            QChar* p = out.data() + used;
            if (at(i) < 0x80) {
                for (; i < n && at(i) < 0x80; ++i)
                    *p++ = QChar(char16_t(at(i)));
            } else if (engine::charLength(bytes, i) == 2) {
                // A run of double-byte characters, in slices, so that the converter's
                // room stays small however long the line.
                std::size_t end = i;
                while (end < n && end - i < kSlice && engine::charLength(bytes, end) == 2)
                    end += 2;
                const std::string_view run = bytes.substr(i, end - i);
                const auto room = static_cast<std::size_t>(icu_.requiredSpace(static_cast<qsizetype>(run.size())));
                scratch_.resize(std::max(scratch_.size(), room));
                QChar* last = icu_.appendToBuffer(scratch_.data(), QByteArrayView(run.data(), run.size()));
                const auto length = static_cast<qsizetype>(last - scratch_.data());
                // A converter that gave more than one unit per byte gets the room it needs.
                if (used + length + static_cast<qsizetype>(n - end) > out.size())
                    out.resize(used + length + static_cast<qsizetype>(n - end));
                p = std::copy(scratch_.data(), last, out.data() + used);
                i = end;
            } else {
                *p++ = QChar(singleByteChar(at(i++)));
            }
            used = p - out.data();
        }
        out.resize(used);
        return out;
    }

private:
    QStringDecoder icu_{kCodec, QStringConverter::Flag::Stateless};
    std::vector<QChar> scratch_;
};

// One character's code page 932 bytes, only when they decode to that very character: a
// near match (the yen sign for 0x5C, say) is no code page 932 form of it.
std::optional<std::string> encodeChar(QStringEncoder& icu, QStringView c)
{
    if (c.size() == 1)
        if (const auto b = singleByteOf(c.front().unicode()))
            return std::string(1, static_cast<char>(*b));
    icu.resetState();
    const QByteArray bytes = icu.encode(c);
    if (icu.hasError() || bytes.size() != 2)
        return std::nullopt;
    std::string out = bytes.toStdString();
    if (decodeCp932(out) != c)
        return std::nullopt;
    return out;
}

// Calls f with each character of text: one UTF-16 unit, or a surrogate pair.
template <typename F> void forEachChar(const QString& text, F f)
{
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length =
            text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate() ? 2 : 1;
        if (!f(QStringView(text).mid(i, length)))
            return;
        i += length;
    }
}

} // namespace

bool cp932Available()
{
    // A converter of that name that lacks the Windows characters is no better than none.
    return QStringDecoder(kCodec).isValid() && QStringEncoder(kCodec).isValid() &&
           decodeCp932("\x81\x5F\xFB\xFC") == QStringView(u"\uFF3C\u9AD9");
}

QString decodeCp932(std::string_view bytes)
{
    return Decoder().decode(bytes);
}

QStringList decodeCp932Each(const std::vector<std::string_view>& pieces)
{
    Decoder decoder;
    QStringList out;
    out.reserve(static_cast<qsizetype>(pieces.size()));
    for (std::string_view piece : pieces)
        out << decoder.decode(piece);
    return out;
}

std::optional<std::string> encodeCp932(const QString& text)
{
    QStringEncoder icu(kCodec, QStringConverter::Flag::Stateless);
    std::string out;
    bool ok = true;
    forEachChar(text, [&](QStringView c) {
        const auto bytes = encodeChar(icu, c);
        if (bytes)
            out += *bytes;
        ok = bytes.has_value();
        return ok;
    });
    if (!ok)
        return std::nullopt;
    return out;
}

std::string encodeCp932Replacing(const QString& text)
{
    QStringEncoder icu(kCodec, QStringConverter::Flag::Stateless);
    std::string out;
    forEachChar(text, [&](QStringView c) {
        out += encodeChar(icu, c).value_or("?");
        return true;
    });
    return out;
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
