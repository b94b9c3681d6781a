#include "systemtext.h"

#include "codepage.h"

#include <memory>

namespace systemtext {

const TCodePage &ansiPage()
{
    thread_local std::unique_ptr<TCodePage> page;
    const int number = codepage::systemAnsi();
    if (!page || page->number() != number)
        page = std::make_unique<TCodePage>(number);
    return *page;
}

std::string toUtf8(std::string_view bytes)
{
    const TCodePage &page = ansiPage();
    if (page.valid())
        return page.toUtf8(std::string(bytes));
    std::string out;
    out.reserve(bytes.size());
    for (const char byte : bytes)
        codepage::appendUtf8(out, static_cast<unsigned char>(byte));
    return out;
}

char32_t decodeByte(unsigned char byte)
{
    const TCodePage &page = ansiPage();
    return byte < 0x80 || !page.valid() ? byte : page.decodeByte(byte);
}

} // namespace systemtext
