// The registry, persisted as a text file in the registry-export format.
//
// The file is the truth: every read works on the file as it is now (re-parsed only when it has been
// replaced), and every change takes the lock file, re-reads the file, applies the change and writes the
// whole registry to a temporary file that is renamed over the old one. A crash therefore leaves the old
// or the new registry, never a torn one, and two processes registering at once both see each other's
// keys. The file is UTF-8 (regedit writes UTF-16; a UTF-16 file with its byte-order mark is read too).
//
// An open key is a handle on a path, not on a node, so a handle stays meaningful across re-reads; a
// handle whose key has gone answers ERROR_KEY_DELETED, as on Windows.
#include <windows.h>

#include "testhooks.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";
constexpr size_t kMaxKeyNameChars = 255;

struct Value {
    std::wstring name; // empty for the default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data; // string types hold wchar_t units, as the W functions see them
};

struct Key {
    std::wstring name;
    std::vector<Value> values;              // in the order they were first set
    std::vector<std::unique_ptr<Key>> keys; // sorted case-insensitively, as Windows enumerates them
};

// Predefined roots and their names in the file.
struct Root {
    HKEY handle;
    const wchar_t* name;
};
const Root kRoots[] = {
    {HKEY_CLASSES_ROOT, L"HKEY_CLASSES_ROOT"},     {HKEY_CURRENT_USER, L"HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE"},   {HKEY_USERS, L"HKEY_USERS"},
    {HKEY_CURRENT_CONFIG, L"HKEY_CURRENT_CONFIG"},
};
constexpr size_t kRootCount = sizeof kRoots / sizeof kRoots[0];

struct Tree {
    Key roots[kRootCount];
};

int CompareNames(const std::wstring& a, const std::wstring& b) {
    return wcscasecmp(a.c_str(), b.c_str());
}

Key* FindChild(Key& parent, const std::wstring& name) {
    for (auto& child : parent.keys) {
        if (CompareNames(child->name, name) == 0) {
            return child.get();
        }
    }
    return nullptr;
}

Key* AddChild(Key& parent, const std::wstring& name) {
    auto key = std::make_unique<Key>();
    key->name = name;
    auto at = std::lower_bound(
        parent.keys.begin(), parent.keys.end(), name,
        [](const std::unique_ptr<Key>& k, const std::wstring& n) { return CompareNames(k->name, n) < 0; });
    return parent.keys.insert(at, std::move(key))->get();
}

void CloneInto(const Key& from, Key& to) {
    to.name = from.name;
    to.values = from.values;
    to.keys.clear();
    for (const auto& child : from.keys) {
        to.keys.push_back(std::make_unique<Key>());
        CloneInto(*child, *to.keys.back());
    }
}

Value* FindValue(Key& key, const std::wstring& name) {
    for (auto& value : key.values) {
        if (CompareNames(value.name, name) == 0) {
            return &value;
        }
    }
    return nullptr;
}

// ---- text helpers ----

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::wstring FromAnsi(LPCSTR text) {
    return text != nullptr ? FromUtf8(text) : std::wstring();
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// String data as wide units, dropping a trailing partial unit.
std::wstring WideUnits(const std::vector<BYTE>& data) {
    std::wstring units(data.size() / sizeof(wchar_t), L'\0');
    std::memcpy(units.data(), data.data(), units.size() * sizeof(wchar_t));
    return units;
}

std::vector<BYTE> BytesOf(const std::wstring& units) {
    std::vector<BYTE> data(units.size() * sizeof(wchar_t));
    std::memcpy(data.data(), units.data(), data.size());
    return data;
}

// ---- the file format ----

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

void AppendHex(std::string& out, const std::string& prefix, const std::vector<BYTE>& bytes) {
    // regedit's layout: lines of at most 80 characters, continued with ",\" and a two-space indent.
    static const char kDigits[] = "0123456789abcdef";
    size_t column = prefix.size();
    out += prefix;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            out += ',';
            ++column;
            if (column + 3 > 79) {
                out += "\\\n  ";
                column = 2;
            }
        }
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0xF];
        column += 2;
    }
    out += '\n';
}

std::vector<BYTE> ToUtf16Le(const std::wstring& units) {
    std::vector<BYTE> out;
    for (wchar_t w : units) {
        auto put = [&](uint32_t u) {
            out.push_back(static_cast<BYTE>(u & 0xFF));
            out.push_back(static_cast<BYTE>(u >> 8));
        };
        uint32_t cp = static_cast<uint32_t>(w);
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            put(0xD800 + (cp >> 10));
            put(0xDC00 + (cp & 0x3FF));
        } else {
            put(cp & 0xFFFF);
        }
    }
    return out;
}

std::wstring FromUtf16Le(const std::vector<BYTE>& bytes) {
    std::wstring out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t u = bytes[i] | (static_cast<uint32_t>(bytes[i + 1]) << 8);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            uint32_t low = bytes[i + 2] | (static_cast<uint32_t>(bytes[i + 3]) << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                out += static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        out += static_cast<wchar_t>(u);
    }
    return out;
}

void WriteValue(std::string& out, const Value& value) {
    std::string name = value.name.empty() ? "@" : "\"" + Escape(ToUtf8(value.name)) + "\"";
    if (value.type == REG_SZ) {
        std::wstring units = WideUnits(value.data);
        // The quoted form holds one terminated line of text; anything else is kept byte for byte.
        bool plain = !units.empty() && units.back() == L'\0' &&
                     std::find_if(units.begin(), units.end() - 1, [](wchar_t c) {
                         return c == L'\0' || c == L'\n' || c == L'\r';
                     }) == units.end() - 1;
        if (plain) {
            units.pop_back();
            out += name + "=\"" + Escape(ToUtf8(units)) + "\"\n";
            return;
        }
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD v;
        std::memcpy(&v, value.data.data(), 4);
        char text[16];
        std::snprintf(text, sizeof text, "%08x", v);
        out += name + "=dword:" + text + "\n";
        return;
    }
    if (value.type == REG_BINARY) {
        AppendHex(out, name + "=hex:", value.data);
        return;
    }
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "=hex(%x):", value.type);
    AppendHex(out, name + prefix, IsStringType(value.type) ? ToUtf16Le(WideUnits(value.data)) : value.data);
}

void WriteKey(std::string& out, const std::wstring& path, const Key& key, bool isRoot) {
    if (!isRoot || !key.values.empty()) {
        out += "\n[" + ToUtf8(path) + "]\n";
        for (const auto& value : key.values) {
            WriteValue(out, value);
        }
    }
    for (const auto& child : key.keys) {
        WriteKey(out, path + L"\\" + child->name, *child, false);
    }
}

std::string Serialise(const Tree& tree) {
    std::string out = kHeader;
    out += '\n';
    for (size_t r = 0; r < kRootCount; ++r) {
        WriteKey(out, kRoots[r].name, tree.roots[r], true);
    }
    return out;
}

// Reads a quoted string starting at text[pos] == '"'; advances pos past the closing quote.
bool ReadQuoted(const std::string& text, size_t& pos, std::string& out) {
    out.clear();
    for (++pos; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '\\' && pos + 1 < text.size()) {
            out += text[++pos];
        } else if (c == '"') {
            ++pos;
            return true;
        } else {
            out += c;
        }
    }
    return false;
}

bool ReadHexBytes(const std::string& text, std::vector<BYTE>& out) {
    out.clear();
    int pending = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9') {
            v = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            v = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            v = c - 'A' + 10;
        } else if (c == ',' || c == ' ' || c == '\t') {
            if (pending >= 0) {
                out.push_back(static_cast<BYTE>(pending));
                pending = -1;
            }
            continue;
        } else {
            return false;
        }
        if (pending < 0) {
            pending = v;
        } else if (pending < 16) {
            pending = pending * 16 + v;
            out.push_back(static_cast<BYTE>(pending));
            pending = -1;
        }
    }
    if (pending >= 0) {
        out.push_back(static_cast<BYTE>(pending));
    }
    return true;
}

bool ParseValueLine(const std::string& line, Key& key) {
    size_t pos = 0;
    std::string name;
    if (line[0] == '@') {
        pos = 1;
    } else if (!ReadQuoted(line, pos, name)) {
        return false;
    }
    if (pos >= line.size() || line[pos] != '=') {
        return false;
    }
    std::string data = line.substr(pos + 1);
    Value value;
    value.name = FromUtf8(name);
    if (data == "-") {
        return true; // a deletion in a patch file: nothing to hold
    }
    if (!data.empty() && data[0] == '"') {
        size_t at = 0;
        std::string text;
        if (!ReadQuoted(data, at, text) || at != data.size()) {
            return false;
        }
        value.type = REG_SZ;
        std::wstring units = FromUtf8(text);
        units.push_back(L'\0');
        value.data = BytesOf(units);
    } else if (data.compare(0, 6, "dword:") == 0) {
        char* end = nullptr;
        unsigned long v = std::strtoul(data.c_str() + 6, &end, 16);
        if (end == data.c_str() + 6 || *end != '\0') {
            return false;
        }
        DWORD d = static_cast<DWORD>(v);
        value.type = REG_DWORD;
        value.data.resize(4);
        std::memcpy(value.data.data(), &d, 4);
    } else if (data.compare(0, 4, "hex:") == 0) {
        value.type = REG_BINARY;
        if (!ReadHexBytes(data.substr(4), value.data)) {
            return false;
        }
    } else if (data.compare(0, 4, "hex(") == 0) {
        size_t close = data.find("):", 4);
        if (close == std::string::npos) {
            return false;
        }
        value.type = static_cast<DWORD>(std::strtoul(data.substr(4, close - 4).c_str(), nullptr, 16));
        std::vector<BYTE> bytes;
        if (!ReadHexBytes(data.substr(close + 2), bytes)) {
            return false;
        }
        value.data = IsStringType(value.type) ? BytesOf(FromUtf16Le(bytes)) : bytes;
    } else {
        return false;
    }
    if (Value* existing = FindValue(key, value.name)) {
        *existing = std::move(value);
    } else {
        key.values.push_back(std::move(value));
    }
    return true;
}

Key* RootByName(Tree& tree, const std::wstring& name) {
    for (size_t r = 0; r < kRootCount; ++r) {
        if (CompareNames(name, kRoots[r].name) == 0) {
            return &tree.roots[r];
        }
    }
    return nullptr;
}

std::vector<std::wstring> SplitPath(const std::wstring& path) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

// Accepts regedit's UTF-16 files as well as this platform's UTF-8 ones.
std::string DecodeFileText(const std::string& raw) {
    if (raw.size() >= 2 && static_cast<BYTE>(raw[0]) == 0xFF && static_cast<BYTE>(raw[1]) == 0xFE) {
        std::vector<BYTE> bytes(raw.begin() + 2, raw.end());
        return ToUtf8(FromUtf16Le(bytes));
    }
    if (raw.size() >= 3 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        return raw.substr(3);
    }
    return raw;
}

bool Parse(const std::string& raw, Tree& tree) {
    std::string text = DecodeFileText(raw);
    // Join continued lines first.
    std::vector<std::string> lines;
    std::string current;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        bool continuing = !current.empty();
        if (continuing) {
            size_t first = line.find_first_not_of(" \t");
            line = first == std::string::npos ? std::string() : line.substr(first);
        }
        // Hex data is continued with a backslash after a comma; a quoted string never ends that way.
        bool continues = line.size() >= 2 && line.back() == '\\' &&
                         (line[line.size() - 2] == ',' || line[line.size() - 2] == ':');
        if (continues) {
            current += line.substr(0, line.size() - 1);
            continue;
        }
        lines.push_back(current + line);
        current.clear();
    }
    if (!current.empty()) {
        lines.push_back(current);
    }
    size_t first = 0;
    while (first < lines.size() && lines[first].empty()) {
        ++first;
    }
    if (first == lines.size()) {
        return true; // an empty file is an empty registry
    }
    if (lines[first] != kHeader) {
        return false;
    }
    Key* key = nullptr;
    for (size_t i = first + 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty() || line[0] == ';') {
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3 || line[1] == '-') {
                return false;
            }
            auto parts = SplitPath(FromUtf8(line.substr(1, line.size() - 2)));
            key = parts.empty() ? nullptr : RootByName(tree, parts[0]);
            if (key == nullptr) {
                return false;
            }
            for (size_t p = 1; p < parts.size(); ++p) {
                Key* child = FindChild(*key, parts[p]);
                key = child != nullptr ? child : AddChild(*key, parts[p]);
            }
            continue;
        }
        if (key == nullptr || !ParseValueLine(line, *key)) {
            return false;
        }
    }
    return true;
}

// ---- the file on disk ----

LONG ErrorFromErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return home;
    }
    passwd* entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "/tmp";
}

std::string RegistryPath() {
    const char* configured = std::getenv("QUENLIX_REGISTRY");
    if (configured != nullptr && configured[0] != '\0') {
        return configured;
    }
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base =
        data != nullptr && data[0] == '/' ? std::string(data) : HomeDirectory() + "/.local/share";
    return base + "/quenlix/registry.reg";
}

LONG MakeParentDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        std::string dir = path.substr(0, slash);
        if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
            return ErrorFromErrno(errno);
        }
    }
    return ERROR_SUCCESS;
}

// The parsed registry, kept while the file holds the same text: reading a small file is cheap, parsing
// it less so, and comparing the text cannot be fooled by a reused inode or a coarse timestamp.
struct Snapshot {
    std::string path;
    std::string raw;
    std::shared_ptr<Tree> tree;
};

std::mutex g_lock; // guards the snapshot and the handle table
Snapshot g_snapshot;

// Loads the registry at path; a missing file is an empty registry. Caller holds g_lock.
LONG Load(const std::string& path, std::shared_ptr<Tree>& tree) {
    std::string raw;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno != ENOENT) {
        return ErrorFromErrno(errno);
    }
    if (fd >= 0) {
        char buffer[65536];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) != 0) {
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                int error = errno;
                close(fd);
                return ErrorFromErrno(error);
            }
            raw.append(buffer, static_cast<size_t>(n));
        }
        close(fd);
    }
    if (g_snapshot.tree && g_snapshot.path == path && g_snapshot.raw == raw) {
        tree = g_snapshot.tree;
        return ERROR_SUCCESS;
    }
    auto fresh = std::make_shared<Tree>();
    if (!Parse(raw, *fresh)) {
        return ERROR_REGISTRY_CORRUPT;
    }
    g_snapshot.path = path;
    g_snapshot.raw = std::move(raw);
    g_snapshot.tree = fresh;
    tree = fresh;
    return ERROR_SUCCESS;
}

LONG Store(const std::string& path, const std::string& text) {
    std::string temp = path + ".tmp." + std::to_string(getpid());
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return ErrorFromErrno(errno);
    }
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            int error = errno;
            close(fd);
            unlink(temp.c_str());
            return ErrorFromErrno(error);
        }
        done += static_cast<size_t>(n);
    }
    // The data must be on disk before the rename makes it the registry.
    if (fsync(fd) != 0 || close(fd) != 0) {
        int error = errno;
        unlink(temp.c_str());
        return ErrorFromErrno(error);
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        int error = errno;
        unlink(temp.c_str());
        return ErrorFromErrno(error);
    }
    return ERROR_SUCCESS;
}

// Serialises writers across threads and processes for one registry file.
class FileLock {
public:
    explicit FileLock(const std::string& path) {
        m_error = MakeParentDirectories(path);
        if (m_error != ERROR_SUCCESS) {
            return;
        }
        std::string lockPath = path + ".lock";
        m_fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            m_error = ErrorFromErrno(errno);
            return;
        }
        while (flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                m_error = ErrorFromErrno(errno);
                return;
            }
        }
    }
    ~FileLock() {
        if (m_fd >= 0) {
            close(m_fd); // releases the lock
        }
    }
    LONG Error() const { return m_error; }

private:
    int m_fd = -1;
    LONG m_error = ERROR_SUCCESS;
};

// ---- handles ----

struct OpenKey {
    size_t root;                    // index into kRoots
    std::vector<std::wstring> path; // below the root
    REGSAM access;
};

std::set<OpenKey*> g_handles;

bool IsRoot(HKEY key, size_t& index) {
    for (size_t r = 0; r < kRootCount; ++r) {
        if (kRoots[r].handle == key) {
            index = r;
            return true;
        }
    }
    return false;
}

// What a handle names; false for a handle that is neither a root nor open. Caller holds g_lock.
bool Resolve(HKEY handle, OpenKey& out) {
    size_t root;
    if (IsRoot(handle, root)) {
        out = OpenKey{root, {}, KEY_ALL_ACCESS};
        return true;
    }
    auto* key = reinterpret_cast<OpenKey*>(handle);
    if (g_handles.count(key) == 0) {
        return false;
    }
    out = *key;
    return true;
}

bool Allows(const OpenKey& key, REGSAM needed) {
    return (key.access & MAXIMUM_ALLOWED) != 0 || (key.access & needed) == needed;
}

Key* Walk(Tree& tree, size_t root, const std::vector<std::wstring>& path, size_t depth) {
    Key* key = &tree.roots[root];
    for (size_t i = 0; i < depth && key != nullptr; ++i) {
        key = FindChild(*key, path[i]);
    }
    return key;
}

Key* Walk(Tree& tree, const OpenKey& open) {
    return Walk(tree, open.root, open.path, open.path.size());
}

// A key path below an open key; false when a name is too long.
bool Extend(const OpenKey& base, LPCWSTR subKey, OpenKey& out) {
    out = base;
    if (subKey == nullptr) {
        return true;
    }
    for (auto& part : SplitPath(subKey)) {
        if (part.size() > kMaxKeyNameChars) {
            return false;
        }
        out.path.push_back(part);
    }
    return true;
}

HKEY NewHandle(const OpenKey& key) {
    auto* open = new OpenKey(key);
    g_handles.insert(open);
    return reinterpret_cast<HKEY>(open);
}

// Runs a read against the registry as it is now.
template <class F> LONG Read(HKEY handle, REGSAM needed, F&& body) {
    std::lock_guard<std::mutex> guard(g_lock);
    OpenKey open;
    if (!Resolve(handle, open)) {
        return ERROR_INVALID_HANDLE;
    }
    if (!Allows(open, needed)) {
        return ERROR_ACCESS_DENIED;
    }
    std::shared_ptr<Tree> tree;
    LONG status = Load(RegistryPath(), tree);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    Key* key = Walk(*tree, open);
    if (key == nullptr) {
        return ERROR_KEY_DELETED;
    }
    return body(open, *tree, *key);
}

// Runs a change under the file lock against a fresh copy of the registry and stores the result when
// the body reports a change.
template <class F> LONG Write(HKEY handle, REGSAM needed, F&& body) {
    std::lock_guard<std::mutex> guard(g_lock);
    OpenKey open;
    if (!Resolve(handle, open)) {
        return ERROR_INVALID_HANDLE;
    }
    if (!Allows(open, needed)) {
        return ERROR_ACCESS_DENIED;
    }
    std::string path = RegistryPath();
    FileLock lock(path);
    if (lock.Error() != ERROR_SUCCESS) {
        return lock.Error();
    }
    std::shared_ptr<Tree> current;
    LONG status = Load(path, current);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // Work on a copy so that a failed store leaves the snapshot as the file is.
    auto copy = std::make_shared<Tree>();
    for (size_t r = 0; r < kRootCount; ++r) {
        CloneInto(current->roots[r], copy->roots[r]);
    }
    Key* key = Walk(*copy, open);
    if (key == nullptr) {
        return ERROR_KEY_DELETED;
    }
    bool changed = false;
    status = body(open, *copy, *key, changed);
    if (status != ERROR_SUCCESS || !changed) {
        return status;
    }
    std::string text = Serialise(*copy);
    status = Store(path, text);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    g_snapshot.path = path;
    g_snapshot.raw = std::move(text);
    g_snapshot.tree = copy;
    return ERROR_SUCCESS;
}

// ---- shared bodies of the A and W functions ----

LONG CreateKey(HKEY parent, LPCWSTR subKey, REGSAM access, PHKEY result, LPDWORD disposition) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    OpenKey target;
    LONG status = Write(parent, 0, [&](const OpenKey& open, Tree&, Key& key, bool& changed) -> LONG {
        if (!Extend(open, subKey, target)) {
            return ERROR_INVALID_PARAMETER;
        }
        Key* at = &key;
        bool created = false;
        for (size_t i = open.path.size(); i < target.path.size(); ++i) {
            Key* child = FindChild(*at, target.path[i]);
            if (child == nullptr) {
                if (!created && !Allows(open, KEY_CREATE_SUB_KEY)) {
                    return ERROR_ACCESS_DENIED;
                }
                child = AddChild(*at, target.path[i]);
                created = true;
            }
            at = child;
        }
        changed = created;
        if (disposition != nullptr) {
            *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        }
        return ERROR_SUCCESS;
    });
    if (status == ERROR_SUCCESS) {
        std::lock_guard<std::mutex> guard(g_lock);
        target.access = access;
        *result = NewHandle(target);
    }
    return status;
}

LONG OpenKeyAt(HKEY parent, LPCWSTR subKey, REGSAM access, PHKEY result) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    OpenKey target;
    LONG status = Read(parent, 0, [&](const OpenKey& open, Tree& tree, Key&) -> LONG {
        if (!Extend(open, subKey, target)) {
            return ERROR_INVALID_PARAMETER;
        }
        return Walk(tree, target) != nullptr ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
    if (status == ERROR_SUCCESS) {
        std::lock_guard<std::mutex> guard(g_lock);
        target.access = access;
        *result = NewHandle(target);
    }
    return status;
}

LONG SetValue(HKEY handle, const std::wstring& name, DWORD type, const BYTE* data, DWORD size) {
    if (data == nullptr && size != 0) {
        return ERROR_NOACCESS;
    }
    return Write(handle, KEY_SET_VALUE, [&](const OpenKey&, Tree&, Key& key, bool& changed) -> LONG {
        Value value;
        value.name = name;
        value.type = type;
        value.data.assign(data, data + size);
        if (Value* existing = FindValue(key, name)) {
            existing->type = type;
            existing->data = std::move(value.data);
        } else {
            key.values.push_back(std::move(value));
        }
        changed = true;
        return ERROR_SUCCESS;
    });
}

// Copies a value out with the SDK's size protocol: a null buffer asks for the size, a short one
// answers ERROR_MORE_DATA with the size needed.
LONG CopyOut(const std::vector<BYTE>& data, DWORD type, LPDWORD typeOut, LPBYTE buffer, LPDWORD size) {
    if (buffer != nullptr && size == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (typeOut != nullptr) {
        *typeOut = type;
    }
    if (size == nullptr) {
        return ERROR_SUCCESS;
    }
    DWORD needed = static_cast<DWORD>(data.size());
    if (buffer == nullptr) {
        *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (!data.empty()) {
        std::memcpy(buffer, data.data(), data.size());
    }
    *size = needed;
    return ERROR_SUCCESS;
}

LONG QueryValue(HKEY handle, const std::wstring& name, Value& out) {
    return Read(handle, KEY_QUERY_VALUE, [&](const OpenKey&, Tree&, Key& key) -> LONG {
        Value* value = FindValue(key, name);
        if (value == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        out = *value;
        return ERROR_SUCCESS;
    });
}

// String data the A functions hand over: ANSI bytes become wide units.
std::vector<BYTE> WidenStringData(const BYTE* data, DWORD size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::wstring units = FromUtf8(bytes);
    return BytesOf(units);
}

std::vector<BYTE> NarrowStringData(const std::vector<BYTE>& data) {
    std::string narrow = ToUtf8(WideUnits(data));
    return std::vector<BYTE>(narrow.begin(), narrow.end());
}

LONG DeleteKeyAt(HKEY parent, LPCWSTR subKey, bool tree) {
    return Write(parent, 0, [&](const OpenKey& open, Tree& registry, Key& key, bool& changed) -> LONG {
        OpenKey target;
        if (!Extend(open, subKey, target)) {
            return ERROR_INVALID_PARAMETER;
        }
        if (tree && (subKey == nullptr || subKey[0] == L'\0')) {
            // RegDeleteTree without a subkey empties the key and keeps it.
            changed = !key.keys.empty() || !key.values.empty();
            key.keys.clear();
            key.values.clear();
            return ERROR_SUCCESS;
        }
        if (target.path.empty()) {
            return ERROR_ACCESS_DENIED; // a predefined root cannot go
        }
        Key* parentKey = Walk(registry, target.root, target.path, target.path.size() - 1);
        Key* victim = parentKey != nullptr ? FindChild(*parentKey, target.path.back()) : nullptr;
        if (victim == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (!tree && !victim->keys.empty()) {
            return ERROR_ACCESS_DENIED; // RegDeleteKey removes only a key without subkeys
        }
        auto& siblings = parentKey->keys;
        siblings.erase(std::find_if(siblings.begin(), siblings.end(),
                                    [&](const std::unique_ptr<Key>& k) { return k.get() == victim; }));
        changed = true;
        return ERROR_SUCCESS;
    });
}

template <class Ch> LONG CopyName(const std::wstring& name, Ch* buffer, LPDWORD chars) {
    if (chars == nullptr || buffer == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::basic_string<Ch> text;
    if constexpr (sizeof(Ch) == 1) {
        text = ToUtf8(name);
    } else {
        text = name;
    }
    if (*chars < text.size() + 1) {
        return ERROR_MORE_DATA;
    }
    text.copy(buffer, text.size());
    buffer[text.size()] = 0;
    *chars = static_cast<DWORD>(text.size());
    return ERROR_SUCCESS;
}

template <class Ch>
LONG EnumKey(HKEY handle, DWORD index, Ch* name, LPDWORD chars, Ch* className, LPDWORD classChars,
             PFILETIME lastWrite) {
    std::wstring found;
    LONG status = Read(handle, KEY_ENUMERATE_SUB_KEYS, [&](const OpenKey&, Tree&, Key& key) -> LONG {
        if (index >= key.keys.size()) {
            return ERROR_NO_MORE_ITEMS;
        }
        found = key.keys[index]->name;
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = CopyName(found, name, chars);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (className != nullptr && classChars != nullptr && *classChars > 0) {
        className[0] = 0;
        *classChars = 0;
    }
    if (lastWrite != nullptr) {
        *lastWrite = FILETIME{};
    }
    return ERROR_SUCCESS;
}

template <class Ch>
LONG EnumValue(HKEY handle, DWORD index, Ch* name, LPDWORD nameChars, LPDWORD type, LPBYTE data,
               LPDWORD size) {
    Value found;
    LONG status = Read(handle, KEY_QUERY_VALUE, [&](const OpenKey&, Tree&, Key& key) -> LONG {
        if (index >= key.values.size()) {
            return ERROR_NO_MORE_ITEMS;
        }
        found = key.values[index];
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = CopyName(found.name, name, nameChars);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if constexpr (sizeof(Ch) == 1) {
        if (IsStringType(found.type)) {
            found.data = NarrowStringData(found.data);
        }
    }
    return CopyOut(found.data, found.type, type, data, size);
}

template <class Ch>
LONG QueryInfo(HKEY handle, LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD values, LPDWORD maxValueNameLen,
               LPDWORD maxValueLen, PFILETIME lastWrite) {
    return Read(handle, KEY_QUERY_VALUE, [&](const OpenKey&, Tree&, Key& key) -> LONG {
        DWORD longestKey = 0;
        DWORD longestName = 0;
        DWORD longestData = 0;
        for (auto& child : key.keys) {
            longestKey = std::max(longestKey, static_cast<DWORD>(child->name.size()));
        }
        for (auto& value : key.values) {
            longestName = std::max(longestName, static_cast<DWORD>(value.name.size()));
            size_t bytes = value.data.size();
            if (sizeof(Ch) == 1 && IsStringType(value.type)) {
                bytes = NarrowStringData(value.data).size();
            }
            longestData = std::max(longestData, static_cast<DWORD>(bytes));
        }
        if (subKeys != nullptr) {
            *subKeys = static_cast<DWORD>(key.keys.size());
        }
        if (maxSubKeyLen != nullptr) {
            *maxSubKeyLen = longestKey;
        }
        if (values != nullptr) {
            *values = static_cast<DWORD>(key.values.size());
        }
        if (maxValueNameLen != nullptr) {
            *maxValueNameLen = longestName;
        }
        if (maxValueLen != nullptr) {
            *maxValueLen = longestData;
        }
        if (lastWrite != nullptr) {
            *lastWrite = FILETIME{};
        }
        return ERROR_SUCCESS;
    });
}

} // namespace

std::string RegistryFilePath() {
    return RegistryPath();
}

extern "C" {

LSTATUS RegCloseKey(HKEY key) {
    std::lock_guard<std::mutex> guard(g_lock);
    size_t root;
    if (IsRoot(key, root)) {
        return ERROR_SUCCESS;
    }
    auto* open = reinterpret_cast<OpenKey*>(key);
    if (g_handles.erase(open) == 0) {
        return ERROR_INVALID_HANDLE;
    }
    delete open;
    return ERROR_SUCCESS;
}

// Every change is on disk when its call returns.
LSTATUS RegFlushKey(HKEY key) {
    std::lock_guard<std::mutex> guard(g_lock);
    OpenKey open;
    return Resolve(key, open) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM access, LPSECURITY_ATTRIBUTES,
                        PHKEY result, LPDWORD disposition) {
    if (subKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return CreateKey(key, subKey, access, result, disposition);
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR, DWORD options, REGSAM access,
                        LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) {
    if (subKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::wstring wide = FromAnsi(subKey);
    return RegCreateKeyExW(key, wide.c_str(), reserved, nullptr, options, access, security, result,
                           disposition);
}

LSTATUS RegCreateKeyW(HKEY key, LPCWSTR subKey, PHKEY result) {
    return CreateKey(key, subKey, MAXIMUM_ALLOWED, result, nullptr);
}

LSTATUS RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    std::wstring wide = FromAnsi(subKey);
    return CreateKey(key, subKey != nullptr ? wide.c_str() : nullptr, MAXIMUM_ALLOWED, result, nullptr);
}

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM access, PHKEY result) {
    return OpenKeyAt(key, subKey, access, result);
}

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    std::wstring wide = FromAnsi(subKey);
    return OpenKeyAt(key, subKey != nullptr ? wide.c_str() : nullptr, access, result);
}

LSTATUS RegOpenKeyW(HKEY key, LPCWSTR subKey, PHKEY result) {
    return OpenKeyAt(key, subKey, MAXIMUM_ALLOWED, result);
}

LSTATUS RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    std::wstring wide = FromAnsi(subKey);
    return OpenKeyAt(key, subKey != nullptr ? wide.c_str() : nullptr, MAXIMUM_ALLOWED, result);
}

LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
    if (subKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return DeleteKeyAt(key, subKey, false);
}

LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    if (subKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::wstring wide = FromAnsi(subKey);
    return DeleteKeyAt(key, wide.c_str(), false);
}

LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey) {
    return DeleteKeyAt(key, subKey, true);
}

LSTATUS RegDeleteTreeA(HKEY key, LPCSTR subKey) {
    std::wstring wide = FromAnsi(subKey);
    return DeleteKeyAt(key, subKey != nullptr ? wide.c_str() : nullptr, true);
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR name) {
    std::wstring valueName = name != nullptr ? name : L"";
    return Write(key, KEY_SET_VALUE, [&](const OpenKey&, Tree&, Key& k, bool& changed) -> LONG {
        for (auto it = k.values.begin(); it != k.values.end(); ++it) {
            if (CompareNames(it->name, valueName) == 0) {
                k.values.erase(it);
                changed = true;
                return ERROR_SUCCESS;
            }
        }
        return ERROR_FILE_NOT_FOUND;
    });
}

LSTATUS RegDeleteValueA(HKEY key, LPCSTR name) {
    std::wstring wide = FromAnsi(name);
    return RegDeleteValueW(key, wide.c_str());
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
    return SetValue(key, name != nullptr ? name : L"", type, data, size);
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
    if (data == nullptr && size != 0) {
        return ERROR_NOACCESS;
    }
    if (IsStringType(type) && data != nullptr) {
        std::vector<BYTE> wide = WidenStringData(data, size);
        return SetValue(key, FromAnsi(name), type, wide.data(), static_cast<DWORD>(wide.size()));
    }
    return SetValue(key, FromAnsi(name), type, data, size);
}

// The old form sets a subkey's default value, creating the subkey; its length comes from the string.
LSTATUS RegSetValueW(HKEY key, LPCWSTR subKey, DWORD type, LPCWSTR data, DWORD) {
    if (type != REG_SZ || data == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    HKEY target = key;
    if (subKey != nullptr && subKey[0] != L'\0') {
        LONG status = CreateKey(key, subKey, KEY_SET_VALUE, &target, nullptr);
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    LONG status = SetValue(target, L"", REG_SZ, reinterpret_cast<const BYTE*>(data),
                           static_cast<DWORD>((std::wcslen(data) + 1) * sizeof(WCHAR)));
    if (target != key) {
        RegCloseKey(target);
    }
    return status;
}

LSTATUS RegSetValueA(HKEY key, LPCSTR subKey, DWORD type, LPCSTR data, DWORD size) {
    if (data == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::wstring wideKey = FromAnsi(subKey);
    std::wstring wideData = FromAnsi(data);
    return RegSetValueW(key, subKey != nullptr ? wideKey.c_str() : nullptr, type, wideData.c_str(), size);
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    Value value;
    LONG status = QueryValue(key, name != nullptr ? name : L"", value);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return CopyOut(value.data, value.type, type, data, size);
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    Value value;
    LONG status = QueryValue(key, FromAnsi(name), value);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (IsStringType(value.type)) {
        value.data = NarrowStringData(value.data);
    }
    return CopyOut(value.data, value.type, type, data, size);
}

// The old form reads a subkey's default value; a key without one reads as the empty string.
LSTATUS RegQueryValueW(HKEY key, LPCWSTR subKey, LPWSTR data, PLONG size) {
    HKEY target = key;
    if (subKey != nullptr && subKey[0] != L'\0') {
        LONG status = OpenKeyAt(key, subKey, KEY_QUERY_VALUE, &target);
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    Value value;
    LONG status = QueryValue(target, L"", value);
    if (target != key) {
        RegCloseKey(target);
    }
    if (status == ERROR_FILE_NOT_FOUND) {
        value.type = REG_SZ;
        value.data = BytesOf(std::wstring(1, L'\0'));
        status = ERROR_SUCCESS;
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (value.type != REG_SZ) {
        return ERROR_INVALID_DATA;
    }
    DWORD bytes = size != nullptr ? static_cast<DWORD>(*size) : 0;
    status = CopyOut(value.data, value.type, nullptr, reinterpret_cast<LPBYTE>(data),
                     size != nullptr ? &bytes : nullptr);
    if (size != nullptr) {
        *size = static_cast<LONG>(bytes);
    }
    return status;
}

LSTATUS RegQueryValueA(HKEY key, LPCSTR subKey, LPSTR data, PLONG size) {
    std::wstring wideKey = FromAnsi(subKey);
    LONG wideSize = 0;
    LONG status = RegQueryValueW(key, subKey != nullptr ? wideKey.c_str() : nullptr, nullptr, &wideSize);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::wstring text(static_cast<size_t>(wideSize) / sizeof(WCHAR), L'\0');
    status = RegQueryValueW(key, subKey != nullptr ? wideKey.c_str() : nullptr, text.data(), &wideSize);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::vector<BYTE> narrow = NarrowStringData(BytesOf(text));
    DWORD bytes = size != nullptr ? static_cast<DWORD>(*size) : 0;
    status =
        CopyOut(narrow, REG_SZ, nullptr, reinterpret_cast<LPBYTE>(data), size != nullptr ? &bytes : nullptr);
    if (size != nullptr) {
        *size = static_cast<LONG>(bytes);
    }
    return status;
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD chars, LPDWORD, LPWSTR className,
                      LPDWORD classChars, PFILETIME lastWrite) {
    return EnumKey(key, index, name, chars, className, classChars, lastWrite);
}

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD chars, LPDWORD, LPSTR className,
                      LPDWORD classChars, PFILETIME lastWrite) {
    return EnumKey(key, index, name, chars, className, classChars, lastWrite);
}

LSTATUS RegEnumKeyW(HKEY key, DWORD index, LPWSTR name, DWORD chars) {
    return EnumKey<WCHAR>(key, index, name, &chars, nullptr, nullptr, nullptr);
}

LSTATUS RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD chars) {
    return EnumKey<CHAR>(key, index, name, &chars, nullptr, nullptr, nullptr);
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD, LPDWORD type,
                      LPBYTE data, LPDWORD size) {
    return EnumValue(key, index, name, nameChars, type, data, size);
}

LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD, LPDWORD type,
                      LPBYTE data, LPDWORD size) {
    return EnumValue(key, index, name, nameChars, type, data, size);
}

LSTATUS RegQueryInfoKeyW(HKEY key, LPWSTR className, LPDWORD classChars, LPDWORD, LPDWORD subKeys,
                         LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values, LPDWORD maxValueNameLen,
                         LPDWORD maxValueLen, LPDWORD securityDescriptor, PFILETIME lastWrite) {
    if (className != nullptr && classChars != nullptr && *classChars > 0) {
        className[0] = 0;
    }
    if (classChars != nullptr) {
        *classChars = 0;
    }
    if (maxClassLen != nullptr) {
        *maxClassLen = 0;
    }
    if (securityDescriptor != nullptr) {
        *securityDescriptor = 0;
    }
    return QueryInfo<WCHAR>(key, subKeys, maxSubKeyLen, values, maxValueNameLen, maxValueLen, lastWrite);
}

LSTATUS RegQueryInfoKeyA(HKEY key, LPSTR className, LPDWORD classChars, LPDWORD, LPDWORD subKeys,
                         LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values, LPDWORD maxValueNameLen,
                         LPDWORD maxValueLen, LPDWORD securityDescriptor, PFILETIME lastWrite) {
    if (className != nullptr && classChars != nullptr && *classChars > 0) {
        className[0] = 0;
    }
    if (classChars != nullptr) {
        *classChars = 0;
    }
    if (maxClassLen != nullptr) {
        *maxClassLen = 0;
    }
    if (securityDescriptor != nullptr) {
        *securityDescriptor = 0;
    }
    return QueryInfo<CHAR>(key, subKeys, maxSubKeyLen, values, maxValueNameLen, maxValueLen, lastWrite);
}

} // extern "C"
