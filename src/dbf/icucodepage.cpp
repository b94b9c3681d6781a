#include "icucodepage.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/ucol.h>

#include <vector>

void icuhandle::CloseConverter::operator()(UConverter *converter) const noexcept
{
    ucnv_close(converter);
}

void icuhandle::CloseCollator::operator()(UCollator *collator) const noexcept
{
    ucol_close(collator);
}

namespace {

TConverterHandle openByName(const std::string &name)
{
    UErrorCode status = U_ZERO_ERROR;
    TConverterHandle converter(ucnv_open(name.c_str(), &status));
    // A name ICU does not know may still open its default converter, with a warning.
    if (U_FAILURE(status) || status == U_USING_DEFAULT_WARNING)
        converter.reset();
    return converter;
}

TConverterHandle openStopping(int number)
{
    TConverterHandle converter = openCodePageConverter(number);
    UErrorCode status = U_ZERO_ERROR;
    if (converter) {
        ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                              &status);
        ucnv_setFallback(converter.get(), false);
    }
    return U_SUCCESS(status) ? std::move(converter) : TConverterHandle();
}

} // namespace

TConverterHandle openCodePageConverter(int number)
{
    if (number <= 0 || number > 65535)
        return {};
    if (number >= 28591 && number <= 28605)
        return openByName("ISO-8859-" + std::to_string(number - 28590));
    const std::string digits = std::to_string(number);
    for (const std::string &name : {"windows-" + digits, "ibm-" + digits, "cp" + digits}) {
        if (TConverterHandle converter = openByName(name))
            return converter;
    }
    return {};
}

TIcuCodePage::TIcuCodePage(int number) : m_number(number)
{
    m_strict = openStopping(number);
    m_valid = m_strict != nullptr;
    m_decoder = openCodePageConverter(m_valid ? number : kFallback);
    if (m_valid) {
        m_lossy = openCodePageConverter(number);
        UErrorCode status = U_ZERO_ERROR;
        ucnv_setSubstChars(m_lossy.get(), "?", 1, &status);
    }
    m_singleByte = !m_decoder || ucnv_getMaxCharSize(m_decoder.get()) == 1;
}

TIcuCodePage::~TIcuCodePage() = default;
TIcuCodePage::TIcuCodePage(TIcuCodePage &&) noexcept = default;
TIcuCodePage &TIcuCodePage::operator=(TIcuCodePage &&) noexcept = default;

std::u16string TIcuCodePage::decode(const char *bytes, std::size_t length) const
{
    if (length == 0)
        return {};
    if (!m_decoder) // ICU without even its Windows-1252 table: keep the bytes as Latin-1
        return std::u16string(bytes, bytes + length);
    std::u16string out(length * 2 + 2, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    ucnv_resetToUnicode(m_decoder.get());
    const int32_t n = ucnv_toUChars(m_decoder.get(), reinterpret_cast<UChar *>(out.data()),
                                    static_cast<int32_t>(out.size()), bytes,
                                    static_cast<int32_t>(length), &status);
    if (U_FAILURE(status))
        return std::u16string(length, u'\uFFFD');
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::optional<std::string> TIcuCodePage::encode(std::u16string_view text) const
{
    if (!m_strict)
        return std::nullopt;
    std::string out(text.size() * 4 + 4, '\0');
    UErrorCode status = U_ZERO_ERROR;
    ucnv_resetFromUnicode(m_strict.get());
    const int32_t n = ucnv_fromUChars(m_strict.get(), out.data(), static_cast<int32_t>(out.size()),
                                      reinterpret_cast<const UChar *>(text.data()),
                                      static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status))
        return std::nullopt;
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::string TIcuCodePage::encodeLossy(std::u16string_view text) const
{
    if (!m_lossy)
        return std::string(text.size(), '?');
    std::string out(text.size() * 4 + 4, '\0');
    UErrorCode status = U_ZERO_ERROR;
    ucnv_resetFromUnicode(m_lossy.get());
    const int32_t n = ucnv_fromUChars(m_lossy.get(), out.data(), static_cast<int32_t>(out.size()),
                                      reinterpret_cast<const UChar *>(text.data()),
                                      static_cast<int32_t>(text.size()), &status);
    out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(n) : 0);
    return out;
}
