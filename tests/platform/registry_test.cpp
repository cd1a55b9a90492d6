// The registry: the functions registration uses, the text file behind them, and writers in parallel.
#include <windows.h>

#include "platform/posix/testhooks.h"
#include "scratch_registry.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using platformtest::ScratchRegistry;

const wchar_t kClassKey[] = L"CLSID\\{6E0C2F4A-3B1D-4C55-9A7E-2D8B1F0C7A11}";

std::wstring QueryString(HKEY key, const wchar_t* name) {
    WCHAR buffer[MAX_PATH];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    LONG status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size);
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        return L"<" + std::to_wstring(status) + L":" + std::to_wstring(type) + L">";
    }
    return buffer;
}

LONG SetString(HKEY key, const wchar_t* name, const wchar_t* text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>((wcslen(text) + 1) * sizeof(WCHAR)));
}

// What the module's self-registration writes for one class.
void WriteServerKeys(const wchar_t* classKey, const wchar_t* name, const wchar_t* path) {
    HKEY key;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, classKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    ASSERT_EQ(SetString(key, nullptr, name), ERROR_SUCCESS);
    HKEY server;
    ASSERT_EQ(RegCreateKeyW(key, L"InprocServer32", &server), ERROR_SUCCESS);
    EXPECT_EQ(SetString(server, nullptr, path), ERROR_SUCCESS);
    EXPECT_EQ(SetString(server, L"ThreadingModel", L"Both"), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(server), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST(RegistryTest, ServerKeysPersistInExportFormat) {
    ScratchRegistry registry;
    EXPECT_EQ(RegistryFilePath(), registry.File());
    WriteServerKeys(kClassKey, L"Korvane \"Test\" Filter", L"/opt/q\\x/quenlix.ax");

    std::string text = registry.Text();
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u) << text;
    EXPECT_NE(text.find("\n[HKEY_CLASSES_ROOT\\CLSID\\{6E0C2F4A-3B1D-4C55-9A7E-2D8B1F0C7A11}]\n"
                        "@=\"Korvane \\\"Test\\\" Filter\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\CLSID\\{6E0C2F4A-3B1D-4C55-9A7E-2D8B1F0C7A11}\\InprocServer32]\n"
                        "@=\"/opt/q\\\\x/quenlix.ax\"\n\"ThreadingModel\"=\"Both\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\CLSID]\n"), std::string::npos) << "every key is a section";

    // Every value type through the file: written, then read back after another writer's change,
    // through a differently cased path (names compare without case).
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT,
                            L"clsid\\{6e0c2f4a-3b1d-4c55-9a7e-2d8b1f0c7a11}\\INPROCSERVER32", 0,
                            KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    std::vector<BYTE> blob(100);
    for (size_t i = 0; i < blob.size(); ++i) {
        blob[i] = static_cast<BYTE>(i * 7);
    }
    ASSERT_EQ(RegSetValueExW(key, L"Blob", 0, REG_BINARY, blob.data(), static_cast<DWORD>(blob.size())),
              ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, L"Text", L"line one\nline \"two\""), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, L"Emoji", L"\x1F4FA tv"), ERROR_SUCCESS);
    registry.Write(registry.Text() + "\n"); // a different text: the reader has to parse it again

    EXPECT_EQ(QueryString(key, nullptr), L"/opt/q\\x/quenlix.ax");
    EXPECT_EQ(QueryString(key, L"threadingmodel"), L"Both");
    BYTE buffer[256];
    DWORD size = sizeof buffer;
    DWORD type;
    ASSERT_EQ(RegQueryValueExW(key, L"Blob", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + size), blob);
    EXPECT_EQ(QueryString(key, L"Text"), L"line one\nline \"two\"");
    EXPECT_EQ(QueryString(key, L"Emoji"), L"\x1F4FA tv");
    RegCloseKey(key);
}

TEST(RegistryTest, ReadsWhatAnotherWriterLeft) {
    ScratchRegistry registry;
    // regedit's own layout: CRLF lines, a UTF-8 value, a dword, wrapped hex bytes.
    registry.Write("Windows Registry Editor Version 5.00\r\n\r\n"
                   "[HKEY_CLASSES_ROOT\\Test\\Sub]\r\n"
                   "@=\"caf\xc3\xa9\"\r\n"
                   "\"Merit\"=dword:00200000\r\n"
                   "\"Data\"=hex:02,00,00,00,\\\r\n  ff,7f\r\n"
                   "; a comment\r\n");
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"Test\\Sub", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(QueryString(key, L""), L"caf\x00e9");

    DWORD merit = 0;
    DWORD size = sizeof merit;
    DWORD type = 0;
    ASSERT_EQ(RegQueryValueExW(key, L"Merit", nullptr, &type, reinterpret_cast<LPBYTE>(&merit), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(merit, 0x00200000u);

    BYTE data[8];
    size = sizeof data;
    ASSERT_EQ(RegQueryValueExW(key, L"Data", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(std::vector<BYTE>(data, data + size), (std::vector<BYTE>{2, 0, 0, 0, 0xff, 0x7f}));
    RegCloseKey(key);
}

TEST(RegistryTest, QueryFollowsTheSizeProtocolAndKeysWithSubkeysStay) {
    ScratchRegistry registry;
    WriteServerKeys(kClassKey, L"Filter", L"/m.ax");
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, kClassKey, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 7 * sizeof(WCHAR));
    WCHAR small[3];
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<LPBYTE>(small), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 7 * sizeof(WCHAR));
    EXPECT_EQ(RegQueryValueExW(key, L"Missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);

    // Removal goes depth first, as self-registration does it; a handle on a deleted key is told so.
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, kClassKey), ERROR_ACCESS_DENIED) << "it still has a subkey";
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, (std::wstring(kClassKey) + L"\\InprocServer32").c_str()),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, kClassKey), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, kClassKey), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(QueryString(key, nullptr), L"<1018:0>") << "ERROR_KEY_DELETED";
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{nothing}", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, L"CLSID"), ERROR_SUCCESS) << "its last subkey went";
    EXPECT_EQ(registry.Text(), "Windows Registry Editor Version 5.00\n");
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, L""), ERROR_ACCESS_DENIED) << "a root cannot go";
}

TEST(RegistryTest, CorruptFileIsNeitherReadNorOverwritten) {
    ScratchRegistry registry;
    registry.Write("this is not a registry\n[HKEY_CLASSES_ROOT\\A]\n");
    HKEY key;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"A", 0, KEY_READ, &key), ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, L"B", &key), ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(registry.Text(), "this is not a registry\n[HKEY_CLASSES_ROOT\\A]\n");
}

TEST(RegistryTest, UnwritableLocationFailsWithoutWriting) {
    ScratchRegistry registry;
    HKEY key;
    ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, L"Kept", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    // A registry "below" a regular file can be neither locked nor written.
    std::string blocked = registry.File() + "/registry.reg";
    setenv("QUENLIX_REGISTRY", blocked.c_str(), 1);
    EXPECT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, L"Lost", &key), ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"Kept", 0, KEY_READ, &key), ERROR_REGISTRY_IO_FAILED);
    setenv("QUENLIX_REGISTRY", registry.File().c_str(), 1);
    EXPECT_EQ(registry.Text().find("Lost"), std::string::npos);
}

TEST(RegistryTest, DefaultLocationFollowsXdgDataHome) {
    std::vector<std::pair<const char*, std::optional<std::string>>> saved;
    for (const char* name : {"QUENLIX_REGISTRY", "XDG_DATA_HOME", "HOME"}) {
        const char* value = std::getenv(name);
        saved.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
    }
    unsetenv("QUENLIX_REGISTRY");
    setenv("XDG_DATA_HOME", "/srv/data", 1);
    EXPECT_EQ(RegistryFilePath(), "/srv/data/quenlix/registry.reg");
    setenv("XDG_DATA_HOME", "relative/ignored", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(RegistryFilePath(), "/home/someone/.local/share/quenlix/registry.reg");
    for (const auto& [name, value] : saved) {
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }
}

TEST(RegistryTest, TwoProcessesRegisteringAtOnceLoseNoKey) {
    ScratchRegistry registry;
    constexpr int kKeys = 40;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            int failures = 0;
            for (int i = 0; i < kKeys; ++i) {
                std::wstring name =
                    L"Race\\" + std::wstring(1, static_cast<wchar_t>(L'A' + c)) + std::to_wstring(i);
                HKEY key;
                if (RegCreateKeyW(HKEY_CLASSES_ROOT, name.c_str(), &key) != ERROR_SUCCESS ||
                    SetString(key, L"ThreadingModel", L"Both") != ERROR_SUCCESS) {
                    ++failures;
                    continue;
                }
                RegCloseKey(key);
            }
            _exit(failures == 0 ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    HKEY race;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"Race", 0, KEY_READ, &race), ERROR_SUCCESS);
    DWORD subKeys = 0;
    ASSERT_EQ(RegQueryInfoKeyW(race, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 2u * kKeys);
    RegCloseKey(race);
}

} // namespace
