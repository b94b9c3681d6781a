// Reading a run of text and escaped bytes at once must give the bytes, and leave the tokenizer
// where, the tokens one by one would: the search's plain-text pass reads runs, the full reader
// tokens, and both must find the same text.
#include "rtftokenizer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The bytes next() gives as Text and HexByte tokens from `at` on, and where it stands after them;
// a broken \'x, which gives no token, ends them too.
std::pair<std::string, qsizetype> tokenByToken(QByteArrayView bytes, qsizetype at)
{
    RtfTokenizer tokens(bytes.sliced(at));
    std::string out;
    for (;;) {
        const qsizetype before = tokens.position();
        QByteArrayView rest = bytes.sliced(at + before);
        while (!rest.isEmpty() && (rest[0] == '\r' || rest[0] == '\n' || rest[0] == '\0'))
            rest = rest.sliced(1);
        if (rest.startsWith("\\'") && (rest.size() < 4 || !isHex(rest[2]) || !isHex(rest[3])))
            return {out, at + before};
        const RtfToken token = tokens.next();
        if (token.kind == RtfToken::Text)
            out.append(token.text.data(), std::size_t(token.text.size()));
        else if (token.kind == RtfToken::HexByte)
            out += char(token.byte);
        else
            return {out, at + before};
    }
}

void expectSameAsTokens(const std::string &input)
{
    const QByteArrayView bytes(input.data(), qsizetype(input.size()));
    for (qsizetype at = 0; at < bytes.size(); ++at) {
        // Only from where a token starts: the tokenizer is never asked mid-token.
        RtfTokenizer probe(bytes.sliced(at));
        const RtfToken first = probe.next();
        if (first.kind != RtfToken::Text && first.kind != RtfToken::HexByte)
            continue;
        RtfTokenizer run(bytes.sliced(at));
        std::string out = "kept";
        run.appendTextBytes(out);
        const auto [expected, stop] = tokenByToken(bytes, at);
        EXPECT_EQ(out, "kept" + expected) << "from " << at << " in " << input;
        // Line ends and NUL bytes before the next token may be passed over or not.
        const auto next = [&](qsizetype p) {
            while (p < bytes.size() && (bytes[p] == '\r' || bytes[p] == '\n' || bytes[p] == '\0'))
                ++p;
            return p;
        };
        EXPECT_EQ(next(at + run.position()), next(stop)) << "from " << at << " in " << input;
    }
}

} // namespace

TEST(RtfTokenizerRuns, GiveWhatTheTokensGiveOneByOne)
{
    using namespace std::string_literals;
    const std::string cases[] = {
        "plain text longer than sixteen bytes, then a brace{",
        "r\\'e9union \\'e0 l\\'e9cole\\par next",
        "line\r\nends\ninside\rthe run and \\'41\\'42\\'4a\\'4A",
        "nul\0byte\0\0inside"s,
        "broken \\'4 hex \\'zz and \\' at the end \\'",
        "cut at the end \\'4",
        "a\\\\b\\{c\\}d\\~e",
        "sixteen-byte-run}sixteen-byte-ru\\n",
        "\\'e9\\'e9\\'e9\\'e9\\'e9\\'e9\\'e9\\'e9\\'e9x",
        "tail<16",
    };
    for (const std::string &input : cases)
        expectSameAsTokens(input);

    // A stop at every place of a sixteen-byte block, and beyond it.
    for (const char stop : {'{', '}', '\\', '\r', '\n', '\0'})
        for (std::size_t place = 0; place < 40; ++place) {
            std::string input(48, 'a');
            input[place] = stop;
            expectSameAsTokens(input);
        }

    // Random bytes weighted towards what ends or breaks a run.
    std::mt19937 random(31);
    const std::string alphabet = "ab \\'09fzAF{}\r\n\0\x80\xff"s;
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 70);
    for (int n = 0; n < 300; ++n) {
        std::string input;
        for (int i = length(random); i > 0; --i)
            input += alphabet[pick(random)];
        expectSameAsTokens(input);
    }
}
