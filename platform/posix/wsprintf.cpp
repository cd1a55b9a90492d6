// wsprintfA/W with the Win32 format subset: %d %i %u %x %X %s %c %%, the l and h size prefixes, the
// flags - 0 #, a width, and a precision (maximum characters for %s, minimum digits for integers).
// Output stops at 1024 characters, terminator included; the answer is the number of characters written.
// As on Windows, l means 32 bits (LONG, DWORD), %s in wsprintfW takes a wide string, a null string
// prints "(null)", and a percent sign before an unknown character writes that character.
#include <windows.h>

#include <cstdarg>

namespace {
constexpr int kMaxOutput = 1024;

template <class Ch> class Writer {
public:
    explicit Writer(Ch* buffer) : m_buffer(buffer) {}
    void Put(Ch c) {
        if (m_count < kMaxOutput - 1) {
            m_buffer[m_count++] = c;
        }
    }
    void Repeat(Ch c, int n) {
        for (int i = 0; i < n; ++i) {
            Put(c);
        }
    }
    int Finish() {
        m_buffer[m_count] = 0;
        return m_count;
    }

private:
    Ch* m_buffer;
    int m_count = 0;
};

template <class Ch> int Length(const Ch* s, int limit) {
    int n = 0;
    while ((limit < 0 || n < limit) && s[n] != 0) {
        ++n;
    }
    return n;
}

template <class Ch> int Format(Ch* buffer, const Ch* format, va_list args) {
    Writer<Ch> out(buffer);
    for (const Ch* p = format; *p != 0; ++p) {
        if (*p != '%') {
            out.Put(*p);
            continue;
        }
        ++p;
        bool left = false;
        bool zero = false;
        bool prefix = false;
        for (;; ++p) {
            if (*p == '-') {
                left = true;
            } else if (*p == '0') {
                zero = true;
            } else if (*p == '#') {
                prefix = true;
            } else {
                break;
            }
        }
        int width = 0;
        while (*p >= '0' && *p <= '9') {
            width = width * 10 + (*p++ - '0');
        }
        int precision = -1;
        if (*p == '.') {
            ++p;
            precision = 0;
            while (*p >= '0' && *p <= '9') {
                precision = precision * 10 + (*p++ - '0');
            }
        }
        bool shortSize = false;
        if (*p == 'l') {
            ++p; // long is 32 bits on Windows, the same as int
        } else if (*p == 'h') {
            shortSize = true;
            ++p;
        }
        if (*p == 0) {
            break;
        }
        Ch conversion = *p;
        switch (conversion) {
        case 's': {
            const Ch* s = va_arg(args, const Ch*);
            static const Ch kNull[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
            if (s == nullptr) {
                s = kNull;
            }
            int n = Length(s, precision);
            if (!left) {
                out.Repeat(' ', width - n);
            }
            for (int i = 0; i < n; ++i) {
                out.Put(s[i]);
            }
            if (left) {
                out.Repeat(' ', width - n);
            }
            break;
        }
        case 'c': {
            Ch c = static_cast<Ch>(va_arg(args, int));
            if (!left) {
                out.Repeat(' ', width - 1);
            }
            out.Put(c);
            if (left) {
                out.Repeat(' ', width - 1);
            }
            break;
        }
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X': {
            uint32_t raw = static_cast<uint32_t>(va_arg(args, int));
            if (shortSize) {
                raw = conversion == 'd' || conversion == 'i'
                          ? static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(raw)))
                          : raw & 0xFFFF;
            }
            bool negative = false;
            uint32_t value = raw;
            if ((conversion == 'd' || conversion == 'i') && static_cast<int32_t>(raw) < 0) {
                negative = true;
                value = 0u - raw;
            }
            unsigned base = (conversion == 'x' || conversion == 'X') ? 16 : 10;
            const char* digitsOf = conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
            char digits[16];
            int nd = 0;
            do {
                digits[nd++] = digitsOf[value % base];
                value /= base;
            } while (value != 0);
            if (precision == 0 && raw == 0) {
                nd = 0; // an explicit zero precision prints nothing for zero
            }
            int zeros = precision > nd ? precision - nd : 0;
            Ch head[2];
            int nh = 0;
            if (negative) {
                head[nh++] = '-';
            } else if (prefix && base == 16 && raw != 0) {
                head[nh++] = '0';
                head[nh++] = conversion;
            }
            int body = nh + zeros + nd;
            if (zero && !left && precision < 0 && width > body) {
                zeros += width - body;
                body = width;
            }
            if (!left) {
                out.Repeat(' ', width - body);
            }
            for (int i = 0; i < nh; ++i) {
                out.Put(head[i]);
            }
            out.Repeat('0', zeros);
            while (nd > 0) {
                out.Put(static_cast<Ch>(digits[--nd]));
            }
            if (left) {
                out.Repeat(' ', width - body);
            }
            break;
        }
        default:
            out.Put(conversion);
            break;
        }
    }
    return out.Finish();
}
} // namespace

extern "C" {

int wvsprintfA(LPSTR buffer, LPCSTR format, va_list args) {
    return Format<char>(buffer, format, args);
}

int wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args) {
    return Format<wchar_t>(buffer, format, args);
}

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    int n = wvsprintfA(buffer, format, args);
    va_end(args);
    return n;
}

int wsprintfW(LPWSTR buffer, LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    int n = wvsprintfW(buffer, format, args);
    va_end(args);
    return n;
}

} // extern "C"
