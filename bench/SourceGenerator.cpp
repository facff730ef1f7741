#include "SourceGenerator.h"

#include <array>
#include <cstdio>
#include <memory>

namespace bench {

namespace {

// Words are written as escapes so that the bytes in the file do not depend on how this
// source is decoded. Each is followed by the word it encodes.
constexpr const char* kJapanese[] = {
    "\x8F\xA4\x95\x69",                 // 商品
    "\x93\x8C\x8B\x9E",                 // 東京
    "\x91\xE5\x8D\xE3",                 // 大阪
    "\x96\xBC\x8C\xC3\x89\xAE",         // 名古屋
    "\x8A\x94\x8E\xAE\x89\xEF\x8E\xD0", // 株式会社
    "\x8D\xDD\x8C\xC9",                 // 在庫
    "\x8F\x6F\x89\xD7",                 // 出荷
    "\x92\x8D\x95\xB6",                 // 注文
    "\x8C\xDA\x8B\x71",                 // 顧客
    "\x89\xBF\x8A\x69",                 // 価格
    "\x90\x94\x97\xCA",                 // 数量
    "\x8F\x5A\x8F\x8A",                 // 住所
    "\x93\x64\x98\x62",                 // 電話
    "\x92\x53\x93\x96",                 // 担当
    "\x94\xF5\x8D\x6C",                 // 備考
    "\x8E\x52\x93\x63",                 // 山田
    "\x8D\xB2\x93\xA1",                 // 佐藤
    "\x97\xE9\x96\xD8",                 // 鈴木
    "\x93\x63\x92\x86",                 // 田中
    "\x8A\xAE\x97\xB9",                 // 完了
    "\x96\xA2\x92\xE8",                 // 未定
    "\x83\x4A\x81\x5B\x83\x68",         // カード
    "\x83\x66\x81\x5B\x83\x5E",         // データ
    "\x94\xD4\x8D\x86",                 // 番号
    "\x89\xA1\x95\x6C",                 // 横浜
    "\x94\xAD\x91\x97",                 // 発送
    "\x90\xBF\x8B\x81",                 // 請求
    "\x8D\x87\x8C\x76",                 // 合計
    "\x90\xC5\x8D\x9E",                 // 税込
    "\x95\xD4\x95\x69",                 // 返品
    "\x8A\x79\x8A\xED",                 // 楽器
    "\x91\xE5\x8C\x5E",                 // 大型
    "\x83\x65\x83\x8C\x83\x72",         // テレビ
    "\x97\xE2\x91\xA0\x8C\xC9",         // 冷蔵庫
    "\x93\xFA\x96\x7B",                 // 日本
    "\x89\xD4\x8E\x71",                 // 花子
    "\x91\xBE\x98\x59",                 // 太郎
    "\x93\x8C\x8B\x9E\x93\x73",         // 東京都
    "\x8D\x60\x8B\xE6",                 // 港区
    "\x92\x9A\x96\xDA",                 // 丁目
};

// Every word here holds a character whose second byte is 0x5C ('\') or 0x7C ('|'):
// the bytes a converter that scans byte by byte mistakes for an escape or a delimiter.
constexpr const char* kTrailWords[] = {
    "\x83\x5C\x83\x74\x83\x67",         // ソフト
    "\x95\x5C\x8E\xA6",                 // 表示
    "\x83\x7C\x83\x43\x83\x93\x83\x67", // ポイント
    "\x94\x5C\x97\xCD",                 // 能力
    "\x97\x5C\x92\xE8",                 // 予定
    "\x8F\x5C\x95\xAA",                 // 十分
    "\x8D\x5C\x90\xAC",                 // 構成
    "\x90\x5C\x90\xBF",                 // 申請
    "\x93\x5C\x95\x74",                 // 貼付
    "\x83\x5C\x81\x5B\x83\x58",         // ソース
    "\x95\x5C\x8C\x76\x8E\x5A",         // 表計算
    "\x8B\x40\x94\x5C",                 // 機能
    "\x97\x5C\x8E\x5A",                 // 予算
    "\x83\x7C\x83\x58\x83\x67",         // ポスト
    "\x90\x5C\x8D\x9E",                 // 申込
    "\x8D\x5C\x91\xA2",                 // 構造
    "\x89\x5C\x98\x62",                 // 噂話
    "\x8C\x7C\x94\x5C",                 // 芸能
    "\x8A\x7C\x8B\xE0",                 // 掛金
    "\x8D\x7C\x8D\xDE",                 // 鋼材
    "\x96\x7C\x96\xF3",                 // 翻訳
    "\x91\x7C\x8F\x9C",                 // 掃除
    "\x94\x7C\x97\x7B",                 // 培養
    "\x92\x7C\x97\xD1",                 // 竹林
    "\x83\x7C\x83\x93\x83\x76",         // ポンプ
    "\x93\x7C\x8E\x59",                 // 倒産
    "\x8E\x7C\x96\xA1",                 // 旨味
    "\x8B\x7C\x93\xB9",                 // 弓道
    "\x8F\x5C\x81\x7C\x8C\xDC",         // 十－五
};

// One-byte katakana, which must never be taken for lead bytes.
constexpr const char* kHalfWidth[] = {
    "\xB6\xCC\xDE\xBC\xB7\xB6\xDE\xB2\xBC\xAC", // ｶﾌﾞｼｷｶﾞｲｼｬ
    "\xC3\xBD\xC4",                             // ﾃｽﾄ
    "\xBF\xCC\xC4",                             // ｿﾌﾄ
    "\xCE\xDF\xB2\xDD\xC4",                     // ﾎﾟｲﾝﾄ
    "\xC3\xDE\xB0\xC0",                         // ﾃﾞｰﾀ
    "\xB1\xB2\xB3\xB4\xB5",                     // ｱｲｳｴｵ
    "\xC4\xB3\xB7\xAE\xB3",                     // ﾄｳｷｮｳ
};

constexpr const char* kAscii[] = {"apple",   "Tokyo", "item",     "OK",     "NG",     "ABC",      "delta",
                                  "blue",    "Osaka", "misc",     "N/A",    "total",  "shop",     "B-12",
                                  "spare",   "x",     "box",      "red",    "sample", "customer", "Yokohama",
                                  "invoice", "order", "shipment", "remark", "parts",  "standard", "Nagoya"};

// Single characters for the short lines: kanji and katakana, among them ソ, 表, 能, 予,
// 十 (trail byte 0x5C) and ポ (0x7C), and one-byte katakana.
constexpr const char* kShortWide[] = {
    "\x93\x8C", "\x8B\x9E", "\x91\xE5", "\x8D\xE3", "\x8F\xA4", "\x95\x69", "\x8E\x52", // 東京大阪商品山
    "\x93\x63", "\x92\x86", "\x83\x4A", "\x81\x5B", "\x83\x68", "\x83\x66", "\x83\x5E", // 田中カードデタ
    "\x83\x5C", "\x95\x5C", "\x94\x5C", "\x97\x5C", "\x8F\x5C", "\x83\x7C",             // ソ表能予十ポ
};
// ｱｲｳｶﾃｽﾄｿﾌ
constexpr const char* kShortHalf[] = {"\xB1", "\xB2", "\xB3", "\xB6", "\xC3", "\xBD", "\xC4", "\xBF", "\xCC"};

enum Kind { Empty, Integer, Decimal, Code, Date, Ascii, Japanese, TrailByte, Quoted, HalfWidth, KindCount };

// The first twelve columns look like a record (names, codes, dates, remarks); the
// columns after them like a wide sheet of figures. Weights and number lengths set the
// average line: about 130 bytes for 12 columns, about 1,600 for 200.
struct Profile {
    std::array<int, KindCount> weights;
    int integerDigits;
    int wholeDigits;
};
constexpr Profile kRecord = {{5, 8, 8, 10, 8, 12, 20, 13, 10, 6}, 6, 4};
constexpr Profile kFigures = {{6, 34, 26, 8, 4, 4, 6, 5, 4, 3}, 8, 5};
constexpr int kRecordColumns = 12;

template <typename Array> constexpr int sum(const Array& a)
{
    int s = 0;
    for (int v : a)
        s += v;
    return s;
}

template <typename T, std::size_t N> constexpr std::uint32_t countOf(const T (&)[N])
{
    return N;
}

} // namespace

SourceGenerator::SourceGenerator(int columns, std::uint64_t seed, char delimiter, Layout layout)
    : columns_(layout == Layout::ShortLines ? 3 : columns), delimiter_(delimiter), layout_(layout), state_(seed)
{
}

std::uint64_t SourceGenerator::random()
{
    // splitmix64: the same sequence with every compiler and library, unlike the
    // standard distributions.
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

void SourceGenerator::next(std::string& line, std::vector<ItemRange>& items)
{
    line.clear();
    items.clear();
    if (layout_ == Layout::ShortLines) {
        nextShort(line, items);
        return;
    }
    for (int c = 1; c <= columns_; ++c) {
        if (c > 1)
            line.push_back(delimiter_);
        const std::size_t start = line.size();
        appendItem(line, c);
        items.push_back({start, line.size() - start});
    }
}

void SourceGenerator::nextShort(std::string& line, std::vector<ItemRange>& items)
{
    // The length is drawn first and the numbers fill what the characters leave, so every
    // line, CR LF included, takes 20 to 25 bytes.
    const std::uint32_t length = 20 + below(6);
    std::string word;
    for (std::uint32_t n = 2 + below(2); n > 0; --n)
        word.append(below(3) == 0 ? kShortHalf[below(countOf(kShortHalf))] : kShortWide[below(countOf(kShortWide))]);
    const std::uint32_t digits = length - 4 - static_cast<std::uint32_t>(word.size()); // 10 to 19
    const std::uint32_t first = 4 + below(digits - 7);
    const auto number = [&](std::uint32_t n) {
        const std::size_t start = line.size();
        line.push_back(static_cast<char>('1' + below(9)));
        while (--n > 0)
            line.push_back(static_cast<char>('0' + below(10)));
        items.push_back({start, line.size() - start});
    };
    number(first);
    line.push_back(delimiter_);
    items.push_back({line.size(), word.size()});
    line.append(word);
    line.push_back(delimiter_);
    number(digits - first);
}

void SourceGenerator::appendItem(std::string& line, int column)
{
    const Profile& profile = column <= kRecordColumns ? kRecord : kFigures;
    const auto& weights = profile.weights;
    int roll = static_cast<int>(below(static_cast<std::uint32_t>(sum(weights))));
    int kind = 0;
    while (roll >= weights[static_cast<std::size_t>(kind)])
        roll -= weights[static_cast<std::size_t>(kind++)];

    const auto digits = [&](int n) {
        for (int i = 0; i < n; ++i)
            line.push_back(static_cast<char>('0' + below(10)));
    };
    const auto number = [&](int maxDigits) {
        const int n = 1 + static_cast<int>(below(static_cast<std::uint32_t>(maxDigits)));
        line.push_back(static_cast<char>('1' + below(9)));
        digits(n - 1);
    };
    const auto twoDigits = [&](std::uint32_t n) {
        line.push_back('/');
        line.push_back(static_cast<char>('0' + n / 10));
        line.push_back(static_cast<char>('0' + n % 10));
    };
    const auto pick = [&](const auto& words) { line.append(words[below(countOf(words))]); };

    switch (kind) {
    case Empty:
        break;
    case Integer:
        if (below(8) == 0)
            line.push_back('-');
        number(profile.integerDigits);
        break;
    case Decimal:
        if (below(6) == 0)
            line.push_back('-');
        number(profile.wholeDigits);
        line.push_back('.');
        digits(2);
        break;
    case Code:
        line.push_back(static_cast<char>('A' + below(26)));
        line.push_back(static_cast<char>('A' + below(26)));
        line.push_back('-');
        digits(4 + static_cast<int>(below(3)));
        break;
    case Date:
        line.append("20");
        digits(2);
        twoDigits(1 + below(12));
        twoDigits(1 + below(28));
        break;
    case Ascii:
        pick(kAscii);
        if (below(2) == 0) {
            line.push_back(below(2) == 0 ? ' ' : '_');
            pick(kAscii);
        }
        if (below(2) == 0)
            number(4);
        break;
    case Japanese:
        for (int n = 1 + static_cast<int>(below(5)); n > 0; --n)
            pick(kJapanese);
        if (below(4) == 0)
            number(3);
        break;
    case TrailByte:
        pick(kTrailWords);
        for (int n = 1 + static_cast<int>(below(3)); n > 0; --n)
            below(2) == 0 ? pick(kJapanese) : pick(kTrailWords);
        break;
    case Quoted: {
        // Quotes hide what they hold from splitting; each holds a comma, a bar or a TAB,
        // chosen without regard to the file's delimiter.
        static constexpr char kInside[] = {',', ',', '|', '|', '\t'};
        const char inside = kInside[below(sizeof kInside)];
        line.push_back('"');
        if (inside == ',' && below(2) == 0) {
            number(3);
            line.push_back(',');
            digits(3);
        } else {
            below(2) == 0 ? pick(kJapanese) : pick(kTrailWords);
            pick(kJapanese);
            line.push_back(inside);
            below(2) == 0 ? pick(kAscii) : pick(kJapanese);
        }
        line.push_back('"');
        break;
    }
    case HalfWidth:
        pick(kHalfWidth);
        if (below(2) == 0)
            pick(kHalfWidth);
        break;
    }
}

std::string generateFiles(const GenerateRequest& request)
{
    const auto closer = [](std::FILE* f) {
        if (f)
            std::fclose(f);
    };
    using File = std::unique_ptr<std::FILE, decltype(closer)>;
    File out(std::fopen(request.out.c_str(), "wb"), closer);
    if (!out)
        return "cannot create " + request.out.string();
    File expect(nullptr, closer);
    if (!request.expect.empty()) {
        expect.reset(std::fopen(request.expect.c_str(), "wb"));
        if (!expect)
            return "cannot create " + request.expect.string();
    }

    SourceGenerator generator(request.columns, request.seed, request.delimiter, request.layout);
    std::string line;
    std::vector<ItemRange> items;
    std::string outBuffer;
    std::string expectBuffer;
    constexpr std::size_t kChunk = 1 << 20;
    const auto drain = [](std::string& buffer, std::FILE* f, std::size_t atLeast) {
        if (buffer.size() < atLeast)
            return true;
        const bool ok = std::fwrite(buffer.data(), 1, buffer.size(), f) == buffer.size();
        buffer.clear();
        return ok;
    };

    for (std::int64_t i = 0; i < request.lines; ++i) {
        generator.next(line, items);
        outBuffer.append(line);
        outBuffer.append("\r\n");
        if (expect) {
            bool first = true;
            for (int column : request.expectColumns) {
                if (!first)
                    expectBuffer.push_back(request.expectDelimiter);
                first = false;
                // A number beyond the last item takes the last item, as conversion does.
                const std::size_t index = static_cast<std::size_t>(column) <= items.size()
                                              ? static_cast<std::size_t>(column - 1)
                                              : items.size() - 1;
                expectBuffer.append(line, items[index].offset, items[index].length);
            }
            expectBuffer.append("\r\n");
            if (!drain(expectBuffer, expect.get(), kChunk))
                return "cannot write " + request.expect.string();
        }
        if (!drain(outBuffer, out.get(), kChunk))
            return "cannot write " + request.out.string();
    }
    if (!drain(outBuffer, out.get(), 0) || std::fclose(out.release()) != 0)
        return "cannot write " + request.out.string();
    if (expect && (!drain(expectBuffer, expect.get(), 0) || std::fclose(expect.release()) != 0))
        return "cannot write " + request.expect.string();
    return {};
}

} // namespace bench
