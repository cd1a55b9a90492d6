// Code-page conversion. The ANSI, OEM and thread code pages are UTF-8 on this host (see <winnls.h>);
// wide strings are UTF-32, the host's wchar_t.
#include <windows.h>

#include <string>

namespace {
constexpr char32_t kReplacement = 0xFFFD;

bool IsUtf8Page(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP || codePage == CP_UTF8;
}

int Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

// Decodes one UTF-8 sequence at s[i..n); answers the code point (kReplacement and valid=false for a
// malformed, overlong or surrogate sequence) and advances i past what it consumed.
char32_t DecodeOne(const unsigned char* s, int n, int& i, bool& valid) {
    unsigned char lead = s[i++];
    valid = true;
    if (lead < 0x80) {
        return lead;
    }
    int extra;
    char32_t cp;
    char32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, cp = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, cp = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, cp = lead & 0x07, minimum = 0x10000;
    } else {
        valid = false;
        return kReplacement;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= n || (s[i] & 0xC0) != 0x80) {
            valid = false; // a truncated sequence: the bytes seen so far become one replacement
            return kReplacement;
        }
        cp = (cp << 6) | (s[i++] & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        valid = false;
        return kReplacement;
    }
    return cp;
}

void EncodeOne(char32_t cp, std::string& out) {
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
} // namespace

extern "C" {

UINT GetACP(void) {
    return CP_UTF8;
}
UINT GetOEMCP(void) {
    return CP_UTF8;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH source, int sourceBytes, LPWSTR target,
                        int targetChars) {
    if (source == nullptr || sourceBytes == 0 || sourceBytes < -1 || targetChars < 0 ||
        (target == nullptr && targetChars != 0) || static_cast<const void*>(source) == target) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (!IsUtf8Page(codePage)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (codePage == CP_UTF8 && (flags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0) {
        return Fail(ERROR_INVALID_FLAGS);
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(source);
    int n = sourceBytes == -1 ? static_cast<int>(std::char_traits<char>::length(source)) + 1 : sourceBytes;
    int written = 0;
    for (int i = 0; i < n;) {
        bool valid;
        char32_t cp = DecodeOne(bytes, n, i, valid);
        if (!valid && (flags & MB_ERR_INVALID_CHARS) != 0) {
            return Fail(ERROR_NO_UNICODE_TRANSLATION);
        }
        if (targetChars != 0) {
            if (written >= targetChars) {
                return Fail(ERROR_INSUFFICIENT_BUFFER);
            }
            target[written] = static_cast<WCHAR>(cp);
        }
        ++written;
    }
    return written;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH source, int sourceChars, LPSTR target,
                        int targetBytes, LPCCH defaultChar, LPBOOL usedDefaultChar) {
    if (source == nullptr || sourceChars == 0 || sourceChars < -1 || targetBytes < 0 ||
        (target == nullptr && targetBytes != 0) || static_cast<const void*>(source) == target) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (!IsUtf8Page(codePage)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (codePage == CP_UTF8) {
        if ((flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
            return Fail(ERROR_INVALID_FLAGS);
        }
        if (defaultChar != nullptr || usedDefaultChar != nullptr) {
            return Fail(ERROR_INVALID_PARAMETER);
        }
    }
    int n = sourceChars == -1 ? static_cast<int>(std::char_traits<wchar_t>::length(source)) + 1 : sourceChars;
    bool usedDefault = false;
    std::string out;
    for (int i = 0; i < n; ++i) {
        char32_t cp = static_cast<char32_t>(source[i]);
        // Text that came from UTF-16 may still hold surrogate pairs: join them.
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && static_cast<char32_t>(source[i + 1]) >= 0xDC00 &&
            static_cast<char32_t>(source[i + 1]) <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(source[i + 1]) - 0xDC00);
            ++i;
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            if ((flags & WC_ERR_INVALID_CHARS) != 0) {
                return Fail(ERROR_NO_UNICODE_TRANSLATION);
            }
            if (codePage != CP_UTF8) {
                usedDefault = true;
                out += defaultChar != nullptr ? *defaultChar : '?';
                continue;
            }
            cp = kReplacement;
        }
        EncodeOne(cp, out);
    }
    if (usedDefaultChar != nullptr) {
        *usedDefaultChar = usedDefault ? TRUE : FALSE;
    }
    if (targetBytes != 0) {
        if (out.size() > static_cast<size_t>(targetBytes)) {
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        }
        out.copy(target, out.size());
    }
    return static_cast<int>(out.size());
}

} // extern "C"
