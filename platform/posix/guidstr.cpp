// GUIDs in registry form: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal.
#include <objbase.h>

#include <errno.h>
#include <sys/random.h>

namespace {
constexpr int kGuidChars = 38; // without the terminator

int HexValue(WCHAR c) {
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    return -1;
}

// Reads `digits` hex digits at s[pos]; false when one is missing.
bool ReadHex(LPCOLESTR s, int pos, int digits, uint32_t& value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        int v = HexValue(s[pos + i]);
        if (v < 0) {
            return false;
        }
        value = (value << 4) | static_cast<uint32_t>(v);
    }
    return true;
}

// Parses the registry form exactly: braces, dashes at their places, nothing after the closing brace.
bool ParseGuid(LPCOLESTR s, GUID& guid) {
    for (int i = 0; i < kGuidChars; ++i) {
        if (s[i] == 0) {
            return false;
        }
    }
    if (s[0] != L'{' || s[9] != L'-' || s[14] != L'-' || s[19] != L'-' || s[24] != L'-' || s[37] != L'}' ||
        s[38] != 0) {
        return false;
    }
    uint32_t v;
    if (!ReadHex(s, 1, 8, v)) {
        return false;
    }
    guid.Data1 = v;
    if (!ReadHex(s, 10, 4, v)) {
        return false;
    }
    guid.Data2 = static_cast<uint16_t>(v);
    if (!ReadHex(s, 15, 4, v)) {
        return false;
    }
    guid.Data3 = static_cast<uint16_t>(v);
    static const int kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(s, kBytePos[i], 2, v)) {
            return false;
        }
        guid.Data4[i] = static_cast<uint8_t>(v);
    }
    return true;
}

HRESULT StringFromGuidAlloc(const GUID& guid, LPOLESTR* out) {
    if (out == nullptr) {
        return E_INVALIDARG;
    }
    *out = static_cast<LPOLESTR>(CoTaskMemAlloc((kGuidChars + 1) * sizeof(OLECHAR)));
    if (*out == nullptr) {
        return E_OUTOFMEMORY;
    }
    StringFromGUID2(guid, *out, kGuidChars + 1);
    return S_OK;
}
} // namespace

extern "C" {

int StringFromGUID2(REFGUID guid, LPOLESTR text, int cchMax) {
    if (text == nullptr || cchMax < kGuidChars + 1) {
        return 0;
    }
    static const char kHex[] = "0123456789ABCDEF";
    int pos = 0;
    auto put = [&](uint32_t value, int digits) {
        for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
            text[pos++] = static_cast<OLECHAR>(kHex[(value >> shift) & 0xF]);
        }
    };
    text[pos++] = L'{';
    put(guid.Data1, 8);
    text[pos++] = L'-';
    put(guid.Data2, 4);
    text[pos++] = L'-';
    put(guid.Data3, 4);
    text[pos++] = L'-';
    put(guid.Data4[0], 2);
    put(guid.Data4[1], 2);
    text[pos++] = L'-';
    for (int i = 2; i < 8; ++i) {
        put(guid.Data4[i], 2);
    }
    text[pos++] = L'}';
    text[pos++] = 0;
    return pos;
}

HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text) {
    return StringFromGuidAlloc(clsid, text);
}

HRESULT StringFromIID(REFIID iid, LPOLESTR* text) {
    return StringFromGuidAlloc(iid, text);
}

// A null string is the null class, as on Windows. Program identifiers are not kept on this host, so any
// string that is not a GUID answers CO_E_CLASSSTRING.
HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid) {
    if (clsid == nullptr) {
        return E_INVALIDARG;
    }
    if (text == nullptr) {
        *clsid = GUID_NULL;
        return NOERROR;
    }
    GUID parsed;
    if (!ParseGuid(text, parsed)) {
        *clsid = GUID_NULL;
        return CO_E_CLASSSTRING;
    }
    *clsid = parsed;
    return NOERROR;
}

HRESULT IIDFromString(LPCOLESTR text, LPIID iid) {
    if (iid == nullptr) {
        return E_INVALIDARG;
    }
    if (text == nullptr) {
        *iid = GUID_NULL;
        return S_OK;
    }
    GUID parsed;
    if (!ParseGuid(text, parsed)) {
        return E_INVALIDARG;
    }
    *iid = parsed;
    return S_OK;
}

// A random (version 4, RFC 4122 variant) identifier.
HRESULT CoCreateGuid(GUID* guid) {
    if (guid == nullptr) {
        return E_INVALIDARG;
    }
    unsigned char bytes[16];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return E_FAIL;
        }
        got += static_cast<size_t>(n);
    }
    guid->Data1 = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
                  static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
    guid->Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
    guid->Data3 = static_cast<uint16_t>(((bytes[6] << 8 | bytes[7]) & 0x0FFF) | 0x4000);
    guid->Data4[0] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);
    for (int i = 1; i < 8; ++i) {
        guid->Data4[i] = bytes[8 + i];
    }
    return S_OK;
}

} // extern "C"
