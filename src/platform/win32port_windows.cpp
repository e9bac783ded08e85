#include "win32port.h"

#include "runtime.h"
#include "serialio.h"

int ComOpenResult(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME: return kComNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return kComCannotOpen;
    default: return kComOtherError;
    }
}

int NoLineResult(const std::string& device, std::string& reason)
{
    const bool comNumber = device.size() > 7 && _strnicmp(device.c_str(), "\\\\.\\COM", 7) == 0;
    reason = comNumber ? "no serial port behind this number" : "not a serial device";
    return comNumber ? kComNotFound : kComBadSettings;
}

std::string SystemWords(DWORD error)
{
    wchar_t* text = nullptr;
    DWORD chars = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    while (chars > 0 && (text[chars - 1] == L'\n' || text[chars - 1] == L'\r' || text[chars - 1] == L'.' ||
                         text[chars - 1] == L' '))
        --chars;
    std::string words;
    if (chars > 0) {
        int size = WideCharToMultiByte(CP_UTF8, 0, text, int(chars), nullptr, 0, nullptr, nullptr);
        words.assign(size_t(size > 0 ? size : 0), '\0');
        if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, int(chars), words.data(), size, nullptr, nullptr);
    }
    if (text) LocalFree(text);
    return words.empty() ? "system error " + std::to_string(error) : words;
}

std::wstring WidePath(const std::string& utf8)
{
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring text(size_t(size > 0 ? size : 0), L'\0');
    if (size > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), size);
    return text;
}

bool SetLineSettings(HANDLE port, DCB dcb, const SerialLine& line)
{
    dcb.BaudRate = DWORD(line.baud);
    dcb.ByteSize = BYTE(line.dataBits);
    dcb.Parity = line.parity == Parity::None ? NOPARITY : line.parity == Parity::Odd ? ODDPARITY : EVENPARITY;
    dcb.StopBits = line.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = line.parity != Parity::None;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = dcb.fInX = dcb.fErrorChar = dcb.fNull = dcb.fAbortOnError = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    return SetCommState(port, &dcb) != 0;
}
