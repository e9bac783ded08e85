#include "widetext.h"

std::string SystemWords(DWORD error)
{
    wchar_t* text = nullptr;
    DWORD chars = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    while (chars > 0 && (text[chars - 1] == L'\n' || text[chars - 1] == L'\r' || text[chars - 1] == L'.' ||
                         text[chars - 1] == L' '))
        --chars;
    std::string words = chars > 0 ? Utf8(text, chars) : std::string();
    if (text) LocalFree(text);
    return words.empty() ? "system error " + std::to_string(error) : words;
}

std::string Utf8(const wchar_t* text, std::size_t chars)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text, int(chars), nullptr, 0, nullptr, nullptr);
    std::string result(size_t(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, int(chars), result.data(), size, nullptr, nullptr);
    return result;
}

std::wstring WidePath(const std::string& utf8)
{
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring text(size_t(size > 0 ? size : 0), L'\0');
    if (size > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), size);
    return text;
}
