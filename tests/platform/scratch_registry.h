// A registry of the test's own: QUENLIX_REGISTRY points into a fresh temporary directory for the life
// of the object, and the previous setting comes back afterwards. Also what reads keys back.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace platformtest {

class ScratchRegistry {
public:
    ScratchRegistry() {
        char pattern[] = "/tmp/qx-registry-XXXXXX";
        const char* made = mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        m_dir = made != nullptr ? made : "/tmp";
        // A directory that does not exist yet: the first write makes it.
        m_file = m_dir + "/nested/registry.reg";
        const char* previous = std::getenv("QUENLIX_REGISTRY");
        m_hadPrevious = previous != nullptr;
        if (m_hadPrevious) {
            m_previous = previous;
        }
        setenv("QUENLIX_REGISTRY", m_file.c_str(), 1);
    }
    ~ScratchRegistry() {
        if (m_hadPrevious) {
            setenv("QUENLIX_REGISTRY", m_previous.c_str(), 1);
        } else {
            unsetenv("QUENLIX_REGISTRY");
        }
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    const std::string& File() const { return m_file; }
    const std::string& Dir() const { return m_dir; }
    std::string Text() const {
        std::ifstream in(m_file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void Write(const std::string& text) const {
        std::filesystem::create_directories(std::filesystem::path(m_file).parent_path());
        std::ofstream(m_file, std::ios::binary) << text;
    }

private:
    std::string m_dir;
    std::string m_file;
    std::string m_previous;
    bool m_hadPrevious = false;
};

inline bool KeyExists(const std::wstring& path) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// A value's bytes under HKEY_CLASSES_ROOT, and its type; empty when the key or value is missing.
inline std::vector<BYTE> Value(const std::wstring& path, const wchar_t* name, DWORD* type = nullptr) {
    std::vector<BYTE> data;
    DWORD kind = REG_NONE;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD size = 0;
        if (RegQueryValueExW(key, name, nullptr, &kind, nullptr, &size) == ERROR_SUCCESS) {
            data.resize(size);
            if (RegQueryValueExW(key, name, nullptr, &kind, data.data(), &size) != ERROR_SUCCESS) {
                data.clear();
            }
        }
        RegCloseKey(key);
    }
    if (type != nullptr) {
        *type = kind;
    }
    return data;
}

// A REG_SZ value ("<missing>" when the key or value is not there, "<type N>" for another type).
inline std::wstring StringValue(const std::wstring& path, const wchar_t* name = nullptr) {
    DWORD type = REG_NONE;
    std::vector<BYTE> data = Value(path, name, &type);
    if (data.empty()) {
        return L"<missing>";
    }
    if (type != REG_SZ) {
        return L"<type " + std::to_wstring(type) + L">";
    }
    data.resize(data.size() + sizeof(WCHAR), 0);
    return reinterpret_cast<const WCHAR*>(data.data());
}

} // namespace platformtest
