#include "codepage.h"

#include <cstdlib>
#include <cstring>
#include <unicode/ustring.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

struct DriverEntry
{
    std::uint8_t ldid;
    int codePage;
};

constexpr DriverEntry kDrivers[] = {
    {8, 865}, {9, 437}, {10, 850}, {11, 437}, {12, 850}, {13, 437}, {14, 850}, {15, 437},
    {16, 850}, {17, 437}, {18, 850}, {19, 932}, {20, 850}, {21, 437}, {22, 850}, {23, 865},
    {24, 437}, {25, 437}, {26, 850}, {27, 437}, {28, 863}, {29, 850}, {31, 852}, {32, 867},
    {34, 852}, {35, 852}, {36, 860}, {37, 850}, {38, 866}, {55, 850}, {77, 936}, {78, 949},
    {79, 950}, {80, 874}, {86, 932}, {87, 1252}, {88, 1252}, {89, 1252}, {94, 437}, {95, 437},
    {96, 850}, {97, 1252}, {98, 1252}, {105, 620}, {133, 862}, {134, 437}, {135, 852}, {136, 857},
    {142, 868}, {155, 1250}, {156, 850},
};

int g_ansiOverride = 0;
int g_oemOverride = 0;

// ANSI and OEM code pages of the locale's language, as the desktop of origin pairs them.
std::pair<int, int> localeCodePages()
{
    const char *names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    std::string locale;
    for (const char *n : names) {
        const char *v = std::getenv(n);
        if (v && *v) {
            locale = v;
            break;
        }
    }
    const std::string lang = locale.substr(0, locale.find_first_of("_.@"));
    const std::string region = locale.size() > lang.size() + 1 ? locale.substr(lang.size() + 1, 2) : "";
    static const std::unordered_map<std::string, std::pair<int, int>> table = {
        {"pl", {1250, 852}}, {"cs", {1250, 852}}, {"sk", {1250, 852}}, {"hu", {1250, 852}},
        {"sl", {1250, 852}}, {"hr", {1250, 852}}, {"ro", {1250, 852}}, {"sq", {1250, 852}},
        {"bs", {1250, 852}}, {"ru", {1251, 866}}, {"uk", {1251, 866}}, {"be", {1251, 866}},
        {"bg", {1251, 866}}, {"mk", {1251, 866}}, {"sr", {1251, 866}}, {"el", {1253, 737}},
        {"tr", {1254, 857}}, {"he", {1255, 862}}, {"ar", {1256, 720}}, {"fa", {1256, 720}},
        {"ur", {1256, 720}}, {"lt", {1257, 775}}, {"lv", {1257, 775}}, {"et", {1257, 775}},
        {"vi", {1258, 1258}}, {"th", {874, 874}},   {"ja", {932, 932}},   {"ko", {949, 949}},
    };
    if (lang == "zh")
        return region == "TW" || region == "HK" ? std::pair{950, 950} : std::pair{936, 936};
    const auto it = table.find(lang);
    return it != table.end() ? it->second : std::pair{1252, 850};
}

// Decodes one UTF-8 sequence at s[i]; advances i. Returns U+FFFFFFFF for a malformed sequence.
char32_t nextCodePoint(const std::string &s, std::size_t &i)
{
    const auto b = static_cast<unsigned char>(s[i++]);
    if (b < 0x80)
        return b;
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
    if (extra < 0 || b > 0xF4)
        return 0xFFFFFFFF;
    char32_t cp = b & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            return 0xFFFFFFFF;
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    return cp;
}

std::u16string toUtf16(const std::string &utf8, bool &ok)
{
    std::u16string out(utf8.size() + 1, u'\0');
    int32_t len = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strFromUTF8(reinterpret_cast<UChar *>(out.data()), static_cast<int32_t>(out.size()), &len,
                  utf8.data(), static_cast<int32_t>(utf8.size()), &err);
    ok = U_SUCCESS(err);
    out.resize(ok ? static_cast<std::size_t>(len) : 0);
    return out;
}

} // namespace

namespace codepage {

void appendUtf8(std::string &out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}


int ofLanguageDriver(std::uint8_t ldid)
{
    for (const DriverEntry &e : kDrivers)
        if (e.ldid == ldid)
            return e.codePage;
    return 0;
}

int ofLanguageDriverName(const std::uint8_t *name, std::size_t len)
{
    const std::string s(reinterpret_cast<const char *>(name), strnlen(reinterpret_cast<const char *>(name), len));
    auto digits = [&](std::size_t at) {
        if (s.size() < at + 3)
            return 0;
        for (std::size_t k = at; k < at + 3; ++k)
            if (s[k] < '0' || s[k] > '9')
                return 0;
        return std::atoi(s.substr(at, 3).c_str());
    };
    if (s.compare(0, 2, "DB") == 0) {
        if (s.compare(2, 3, "WIN") == 0)
            return 1252;
        if (s.compare(2, 6, "HEBREW") == 0)
            return 1255;
        return digits(2);
    }
    if (s.compare(0, 3, "FOX") == 0) {
        if (s.compare(5, 3, "WIN") == 0)
            return 1252;
        return digits(5);
    }
    return 0;
}

int systemAnsi()
{
    return g_ansiOverride ? g_ansiOverride : localeCodePages().first;
}

int systemOem()
{
    return g_oemOverride ? g_oemOverride : localeCodePages().second;
}

void setSystem(int ansi, int oem)
{
    g_ansiOverride = ansi;
    g_oemOverride = oem;
}

} // namespace codepage

namespace {

bool asciiWord(const char *p)
{
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    return (word & 0x8080808080808080ull) == 0;
}

// Length of the leading run of 7-bit bytes, eight at a time: most table text is plain ASCII.
std::size_t asciiPrefix(const char *p, std::size_t n)
{
    std::size_t i = 0;
    while (i + 8 <= n && asciiWord(p + i))
        i += 8;
    while (i < n && static_cast<unsigned char>(p[i]) < 0x80)
        ++i;
    return i;
}

std::size_t asciiPrefix(const std::string &text)
{
    return asciiPrefix(text.data(), text.size());
}

} // namespace

namespace {

struct BuiltInPage
{
    int number;
    std::array<char16_t, 256> decoded;
};

constexpr BuiltInPage kBuiltInPages[] = {
#include "codepagetables.inc"
};

const BuiltInPage *builtInPage(int number)
{
    for (const BuiltInPage &page : kBuiltInPages)
        if (page.number == number)
            return &page;
    return nullptr;
}

} // namespace

const std::array<char16_t, 256> *codepage::builtInDecoding(int codePage)
{
    const BuiltInPage *known = builtInPage(codePage);
    return known ? &known->decoded : nullptr;
}

TCodePage::TCodePage(int codePage) : m_number(codePage)
{
    if (const BuiltInPage *known = builtInPage(codePage)) {
        m_valid = true;
        m_singleByte = true;
        buildTables(known->decoded);
        return;
    }
    m_icu = std::make_unique<TIcuCodePage>(codePage);
    m_valid = m_icu->valid();
    m_singleByte = m_icu->singleByte();
    if (m_singleByte) {
        std::array<char16_t, 256> decoded{};
        for (int b = 0; b < 256; ++b) {
            const char in = static_cast<char>(b);
            const std::u16string out = m_icu->decode(&in, 1);
            decoded[b] = out.size() == 1 ? out[0] : char16_t(0xFFFD);
        }
        buildTables(decoded);
    }
}

TCodePage::~TCodePage() = default;

void TCodePage::buildTables(const std::array<char16_t, 256> &decoded)
{
    m_encodePages.assign(1, EncodePage{});
    m_encodePages[0].fill(-1);
    std::vector<std::uint8_t> undefined;
    for (int b = 0; b < 256; ++b) {
        char32_t u = 0xFFFD;
        if (b < 0x20 || b == 0x7F) {
            u = static_cast<char32_t>(b); // controls stay themselves (ICU swaps some of them)
        } else if (decoded[b] != 0xFFFD && decoded[b] != 0x1A) {
            u = decoded[b];
        }
        m_toUnicode[b] = u;
        if (u == 0xFFFD)
            undefined.push_back(static_cast<std::uint8_t>(b));
        else
            addEncoding(u, static_cast<std::uint8_t>(b));
    }
    // Undefined bytes keep their value so that nothing a file holds is lost on a round trip.
    for (std::uint8_t b : undefined) {
        m_toUnicode[b] = b;
        addEncoding(b, b);
    }
    for (int b = 0; b < 256; ++b) {
        std::string seq;
        codepage::appendUtf8(seq, m_toUnicode[b]);
        Utf8Bytes &entry = m_toUtf8[b];
        std::memcpy(entry.bytes, seq.data(), seq.size());
        entry.length = static_cast<std::uint8_t>(seq.size());
    }
    m_asciiSame = true;
    for (char32_t b = 0; b < 0x80; ++b)
        m_asciiSame = m_asciiSame && m_toUnicode[b] == b && encodeChar(b) == static_cast<int>(b);
}

// The first byte found for a character keeps it, as a defined byte wins over an undefined one.
void TCodePage::addEncoding(char32_t c, std::uint8_t byte)
{
    if (c > 0xFFFF)
        return; // cannot happen: one UTF-16 unit or a byte value
    std::uint8_t &page = m_encodePageOf[c >> 8];
    if (page == 0) {
        m_encodePages.push_back(m_encodePages[0]);
        page = static_cast<std::uint8_t>(m_encodePages.size() - 1);
    }
    std::int16_t &slot = m_encodePages[page][c & 0xFF];
    if (slot < 0)
        slot = byte;
}

int TCodePage::encodeChar(char32_t c) const
{
    if (c > 0xFFFF || m_encodePages.empty())
        return -1;
    return m_encodePages[m_encodePageOf[c >> 8]][c & 0xFF];
}

// Bytes from `plain` on, through the whole-sequence table; ASCII words go over in one copy.
std::string TCodePage::singleByteToUtf8(const std::string &bytes, std::size_t plain) const
{
    const std::size_t n = bytes.size();
    std::string out(plain + (n - plain) * 3 + 1, '\0'); // the +1 takes a 4-byte copy's spare byte
    std::memcpy(out.data(), bytes.data(), plain);
    const char *in = bytes.data();
    char *w = out.data() + plain;
    std::size_t i = plain;
    while (i < n) {
        if (m_asciiSame && i + 8 <= n && asciiWord(in + i)) {
            std::memcpy(w, in + i, 8);
            w += 8;
            i += 8;
            continue;
        }
        const Utf8Bytes &seq = m_toUtf8[static_cast<unsigned char>(in[i++])];
        std::memcpy(w, seq.bytes, 4);
        w += seq.length;
    }
    out.resize(static_cast<std::size_t>(w - out.data()));
    return out;
}

std::string TCodePage::toUtf8(const std::string &bytes) const
{
    if (m_singleByte) {
        const std::size_t plain = m_asciiSame ? asciiPrefix(bytes) : 0;
        if (plain == bytes.size())
            return bytes;
        return singleByteToUtf8(bytes, plain);
    }
    const std::u16string wide = m_icu->decode(bytes);
    std::string out(wide.size() * 3 + 1, '\0');
    int32_t len = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &len,
                reinterpret_cast<const UChar *>(wide.data()), static_cast<int32_t>(wide.size()), &err);
    out.resize(U_SUCCESS(err) ? static_cast<std::size_t>(len) : 0);
    return out;
}

std::string TCodePage::toUtf8(std::string &&bytes) const
{
    if (!m_singleByte)
        return toUtf8(std::as_const(bytes));
    const std::size_t plain = m_asciiSame ? asciiPrefix(bytes) : 0;
    if (plain == bytes.size())
        return std::move(bytes);
    return singleByteToUtf8(bytes, plain);
}

std::string TCodePage::fromUtf8(const std::string &utf8) const
{
    if (m_singleByte) {
        const std::size_t plain = m_asciiSame ? asciiPrefix(utf8) : 0;
        if (plain == utf8.size())
            return utf8;
        std::string out(utf8.size(), '\0'); // never longer than its UTF-8
        std::memcpy(out.data(), utf8.data(), plain);
        char *w = out.data() + plain;
        for (std::size_t i = plain; i < utf8.size();) {
            const char32_t c = nextCodePoint(utf8, i);
            const int b = c == 0xFFFFFFFF ? -1 : encodeChar(c);
            *w++ = b < 0 ? '?' : static_cast<char>(b);
        }
        out.resize(static_cast<std::size_t>(w - out.data()));
        return out;
    }
    bool ok = false;
    return m_icu->encodeLossy(toUtf16(utf8, ok));
}

bool TCodePage::canEncode(const std::string &utf8) const
{
    if (m_singleByte && m_asciiSame && asciiPrefix(utf8) == utf8.size())
        return true;
    if (m_singleByte) {
        for (std::size_t i = 0; i < utf8.size();) {
            const char32_t c = nextCodePoint(utf8, i);
            if (c == 0xFFFFFFFF || encodeChar(c) < 0)
                return false;
        }
        return true;
    }
    bool ok = false;
    const std::u16string wide = toUtf16(utf8, ok);
    return ok && m_icu->encode(wide).has_value();
}

TMemoTranslation::TMemoTranslation(const TCodePage &table, const TCodePage &ansi)
    : m_table(table), m_ansi(ansi),
      m_identity(table.number() == ansi.number() || !table.valid() || !ansi.valid()),
      m_asciiSame(table.asciiSame() && ansi.asciiSame()),
      m_byTable(table.singleByte() && ansi.singleByte())
{
    if (m_identity || !m_byTable)
        return;
    for (int b = 0; b < 256; ++b) {
        const int toAnsi = ansi.encodeChar(table.decodeByte(static_cast<std::uint8_t>(b)));
        const int fromAnsi = table.encodeChar(ansi.decodeByte(static_cast<std::uint8_t>(b)));
        m_toAnsi[b] = toAnsi < 0 ? '?' : static_cast<char>(toAnsi);
        m_fromAnsi[b] = fromAnsi < 0 ? '?' : static_cast<char>(fromAnsi);
    }
}

std::string TMemoTranslation::translate(const std::string &bytes, const std::array<char, 256> &table)
{
    std::string out(bytes);
    for (char &c : out)
        c = table[static_cast<unsigned char>(c)];
    return out;
}

std::string TMemoTranslation::toAnsi(const std::string &bytes) const
{
    if (m_identity || (m_asciiSame && asciiPrefix(bytes) == bytes.size()))
        return bytes;
    if (m_byTable)
        return translate(bytes, m_toAnsi);
    return m_ansi.fromUtf8(m_table.toUtf8(bytes));
}

std::string TMemoTranslation::fromAnsi(const std::string &bytes) const
{
    if (m_identity || (m_asciiSame && asciiPrefix(bytes) == bytes.size()))
        return bytes;
    if (m_byTable)
        return translate(bytes, m_fromAnsi);
    return m_table.fromUtf8(m_ansi.toUtf8(bytes));
}
