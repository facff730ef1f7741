#include "Cp932.h"

#include "engine/Cp932Chars.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <QStringDecoder>
#include <QStringEncoder>
#endif

#include <algorithm>
#include <vector>

namespace platform {

namespace {

// Single bytes are read here; only double-byte characters go to the system's converter,
// which on Windows is the code page itself and elsewhere ICU's "CP932" table.
//
// ICU's "CP932" table is the Windows one for every double-byte character (0x815F ->
// U+FF3C, NEC and IBM extensions); iconv's "SHIFT_JIS" is not, so the name matters. Its
// single bytes are not quite Windows' (it swaps 0x1A, 0x1C and 0x7F and rejects 0x80,
// 0xA0 and 0xFD-0xFF), so single bytes never reach it.
class DoubleBytes {
public:
    // Decodes a run of well-formed double-byte characters (one UTF-16 unit each) to `to`
    // and returns the end of what it wrote; a pair that stands for no character gives
    // U+FFFD.
    QChar* decode(std::string_view run, QChar* to);
    // Units `decode` may write for a run of that many bytes.
    std::size_t room(std::size_t bytes);
    // The two bytes the code page has for one character, if any (no near matches).
    std::optional<std::string> encode(QStringView c);
    bool available() const;

#ifdef _WIN32
    static constexpr UINT kCodePage = 932;
#else
private:
    QStringDecoder decoder_{"CP932", QStringConverter::Flag::Stateless};
    QStringEncoder encoder_{"CP932", QStringConverter::Flag::Stateless};
#endif
};

#ifdef _WIN32

std::size_t DoubleBytes::room(std::size_t bytes)
{
    return bytes / 2;
}

QChar* DoubleBytes::decode(std::string_view run, QChar* to)
{
    const int pairs = static_cast<int>(run.size() / 2);
    auto* out = reinterpret_cast<wchar_t*>(to);
    const int got = MultiByteToWideChar(kCodePage, 0, run.data(), static_cast<int>(run.size()), out, pairs);
    if (got != pairs) {
        // Every character of this code page is one unit; anything else is no character.
        std::fill(to, to + pairs, QChar(0xFFFD));
        return to + pairs;
    }
    // The code page shows a pair without a character as its default character, the
    // katakana middle dot, which is also the real character 0x8145.
    for (int i = 0; i < pairs; ++i)
        if (out[i] == 0x30FB && !(run[2 * i] == '\x81' && run[2 * i + 1] == '\x45'))
            out[i] = 0xFFFD;
    return to + pairs;
}

std::optional<std::string> DoubleBytes::encode(QStringView c)
{
    char bytes[8];
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(c.utf16()),
                                      static_cast<int>(c.size()), bytes, sizeof bytes, nullptr, &usedDefault);
    if (n != 2 || usedDefault)
        return std::nullopt;
    return std::string(bytes, 2);
}

bool DoubleBytes::available() const
{
    return IsValidCodePage(kCodePage) != 0;
}

#else

std::size_t DoubleBytes::room(std::size_t bytes)
{
    return static_cast<std::size_t>(decoder_.requiredSpace(static_cast<qsizetype>(bytes)));
}

QChar* DoubleBytes::decode(std::string_view run, QChar* to)
{
    return decoder_.appendToBuffer(to, QByteArrayView(run.data(), static_cast<qsizetype>(run.size())));
}

std::optional<std::string> DoubleBytes::encode(QStringView c)
{
    encoder_.resetState();
    const QByteArray bytes = encoder_.encode(c);
    if (encoder_.hasError() || bytes.size() != 2)
        return std::nullopt;
    return bytes.toStdString();
}

bool DoubleBytes::available() const
{
    return decoder_.isValid() && encoder_.isValid();
}

#endif

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
                scratch_.resize(std::max(scratch_.size(), converter_.room(run.size())));
                QChar* last = converter_.decode(run, scratch_.data());
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
    DoubleBytes converter_;
    std::vector<QChar> scratch_;
};

// One character's code page 932 bytes, only when they decode to that very character: a
// near match (the yen sign for 0x5C, say) is no code page 932 form of it.
std::optional<std::string> encodeChar(DoubleBytes& converter, QStringView c)
{
    if (c.size() == 1)
        if (const auto b = singleByteOf(c.front().unicode()))
            return std::string(1, static_cast<char>(*b));
    std::optional<std::string> out = converter.encode(c);
    if (!out || decodeCp932(*out) != c)
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
    return DoubleBytes().available() && decodeCp932("\x81\x5F\xFB\xFC") == QStringView(u"\uFF3C\u9AD9");
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
    DoubleBytes converter;
    std::string out;
    bool ok = true;
    forEachChar(text, [&](QStringView c) {
        const auto bytes = encodeChar(converter, c);
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
    DoubleBytes converter;
    std::string out;
    forEachChar(text, [&](QStringView c) {
        out += encodeChar(converter, c).value_or("?");
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

QString decodeSource(std::string_view bytes, engine::Encoding encoding)
{
    if (encoding == engine::Encoding::Utf8)
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return decodeCp932(bytes);
}

QStringList decodeSourceEach(const std::vector<std::string_view>& pieces, engine::Encoding encoding)
{
    if (encoding == engine::Encoding::Cp932)
        return decodeCp932Each(pieces);
    QStringList out;
    out.reserve(static_cast<qsizetype>(pieces.size()));
    for (std::string_view piece : pieces)
        out << decodeSource(piece, encoding);
    return out;
}

std::string encodeDelimiter(const QString& text, engine::Encoding encoding)
{
    if (encoding == engine::Encoding::Cp932)
        return encodeDelimiter(text);
    // A lone surrogate has no UTF-8 form.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return std::string("\0\0", 2);
    }
    return text.toUtf8().toStdString();
}

engine::DelimiterTable delimitersFor(const engine::DelimiterTable& table, engine::Encoding encoding)
{
    return engine::delimitersFor(table, encoding, [encoding](std::string_view bytes) -> std::optional<std::string> {
        // Bytes that are no code page 932 text stand for no character in UTF-8 either.
        const QString text = decodeCp932(bytes);
        if (encodeCp932(text) != std::string(bytes))
            return std::nullopt;
        return encodeDelimiter(text, encoding);
    });
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
