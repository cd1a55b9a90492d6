// The filter mapper, served by the platform itself under CLSID_FilterMapper2 and CLSID_FilterMapper;
// one object answers both IFilterMapper2 and the older IFilterMapper.
//
// IFilterMapper2 records a filter where Windows does: HKCR\CLSID\{category}\Instance\{instance}, with
// FriendlyName, CLSID and FilterData (the binary REGFILTER2 layout Windows writes: a header with version,
// merit and pin count, then "0pi3" pin records and "0ty3" media-type records whose GUIDs lie in a pool
// after them, found by offset). The default category is CLSID_LegacyAmFilterCategory and the default
// instance name the filter's class identifier. IFilterMapper keeps its own, older layout:
// HKCR\Filter\{clsid}, the "Merit" value of HKCR\CLSID\{clsid} and the pins below its "Pins" key.
//
// Matching (EnumMatchingFilters) needs monikers, which this host does not have: it answers E_NOTIMPL.
#include <objbase.h>
#include <strmif.h>
#include <uuids.h>

#include "internal.h"

#include <atomic>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

HRESULT FromRegistry(LONG status) {
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

std::wstring GuidText(REFGUID guid) {
    WCHAR text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

// Writes a REG_SZ or DWORD value below an open key.
LONG SetString(HKEY key, const wchar_t* name, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

LONG SetDword(HKEY key, const wchar_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

class Key {
public:
    ~Key() {
        if (m_key != nullptr) {
            RegCloseKey(m_key);
        }
    }
    LONG Create(HKEY parent, const std::wstring& path) {
        return RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                               nullptr, &m_key, nullptr);
    }
    LONG Open(HKEY parent, const std::wstring& path) {
        return RegOpenKeyExW(parent, path.c_str(), 0, KEY_ALL_ACCESS, &m_key);
    }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

// One pin as FilterData holds it, from either REGFILTER2 version.
struct PinRecord {
    DWORD flags = 0;
    DWORD instances = 0;
    std::vector<REGPINTYPES> types;
    std::vector<REGPINMEDIUM> mediums;
    const CLSID* category = nullptr;
};

class FilterDataWriter {
public:
    std::vector<BYTE> Build(DWORD merit, const std::vector<PinRecord>& pins) {
        // The fixed part comes first; the pool of GUIDs and mediums follows it, so its size fixes the
        // offsets.
        size_t fixed = 16;
        for (const auto& pin : pins) {
            fixed += 24 + (pin.category != nullptr ? 4 : 0) + pin.types.size() * 16 + pin.mediums.size() * 4;
        }
        m_poolStart = fixed;
        Put(2); // the pin records below are version 2 records, whatever version was handed in
        Put(merit);
        Put(static_cast<DWORD>(pins.size()));
        Put(0);
        for (size_t i = 0; i < pins.size(); ++i) {
            const PinRecord& pin = pins[i];
            PutSignature("0pi3", i);
            Put(pin.flags);
            Put(pin.instances);
            Put(static_cast<DWORD>(pin.types.size()));
            Put(static_cast<DWORD>(pin.mediums.size()));
            Put(pin.category != nullptr ? 1 : 0);
            if (pin.category != nullptr) {
                Put(PoolOffset(pin.category, sizeof(GUID)));
            }
            for (size_t t = 0; t < pin.types.size(); ++t) {
                PutSignature("0ty3", t);
                Put(0);
                Put(GuidOffset(pin.types[t].clsMajorType));
                Put(GuidOffset(pin.types[t].clsMinorType));
            }
            for (const auto& medium : pin.mediums) {
                Put(PoolOffset(&medium, sizeof medium));
            }
        }
        std::vector<BYTE> out = m_fixed;
        out.insert(out.end(), m_pool.begin(), m_pool.end());
        return out;
    }

private:
    void Put(DWORD value) {
        BYTE bytes[4];
        std::memcpy(bytes, &value, 4);
        m_fixed.insert(m_fixed.end(), bytes, bytes + 4);
    }
    void PutSignature(const char* signature, size_t index) {
        m_fixed.push_back(static_cast<BYTE>(signature[0] + index));
        m_fixed.insert(m_fixed.end(), signature + 1, signature + 4);
    }
    // A null media type pointer is the wildcard, GUID_NULL.
    DWORD GuidOffset(const CLSID* guid) {
        return PoolOffset(guid != nullptr ? guid : &GUID_NULL, sizeof(GUID));
    }
    // Each distinct entry is stored once.
    DWORD PoolOffset(const void* data, size_t size) {
        const BYTE* bytes = static_cast<const BYTE*>(data);
        for (size_t at = 0; at + size <= m_pool.size(); at += sizeof(GUID) / 2) {
            if (std::memcmp(m_pool.data() + at, bytes, size) == 0) {
                return static_cast<DWORD>(m_poolStart + at);
            }
        }
        while (m_pool.size() % (sizeof(GUID) / 2) != 0) {
            m_pool.push_back(0);
        }
        size_t at = m_pool.size();
        m_pool.insert(m_pool.end(), bytes, bytes + size);
        return static_cast<DWORD>(m_poolStart + at);
    }

    std::vector<BYTE> m_fixed;
    std::vector<BYTE> m_pool;
    size_t m_poolStart = 0;
};

std::wstring InstanceKey(const CLSID* category, LPCOLESTR instance, REFCLSID filter) {
    return L"CLSID\\" + GuidText(category != nullptr ? *category : CLSID_LegacyAmFilterCategory) +
           L"\\Instance\\" + (instance != nullptr ? std::wstring(instance) : GuidText(filter));
}

class FilterMapper final : public IFilterMapper2, public IFilterMapper {
public:
    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IFilterMapper2) {
            *ppv = static_cast<IFilterMapper2*>(this);
        } else if (riid == IID_IFilterMapper) {
            *ppv = static_cast<IFilterMapper*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --m_refs;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // IFilterMapper2
    STDMETHODIMP CreateCategory(REFCLSID category, DWORD merit, LPCWSTR description) override {
        if (description == nullptr) {
            return E_POINTER;
        }
        Key key;
        HRESULT hr =
            FromRegistry(key.Create(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(CLSID_ActiveMovieCategories) +
                                                           L"\\Instance\\" + GuidText(category)));
        if (SUCCEEDED(hr)) {
            hr = FromRegistry(SetString(key.Get(), L"FriendlyName", description));
        }
        if (SUCCEEDED(hr)) {
            hr = FromRegistry(SetString(key.Get(), L"CLSID", GuidText(category)));
        }
        if (SUCCEEDED(hr)) {
            hr = FromRegistry(SetDword(key.Get(), L"Merit", merit));
        }
        return hr;
    }

    STDMETHODIMP UnregisterFilter(const CLSID* category, LPCOLESTR instance, REFCLSID filter) override {
        return FromRegistry(
            RegDeleteTreeW(HKEY_CLASSES_ROOT, InstanceKey(category, instance, filter).c_str()));
    }

    // A moniker handed in to say where to write cannot be honoured; none is handed back.
    STDMETHODIMP RegisterFilter(REFCLSID filter, LPCWSTR name, IMoniker** moniker, const CLSID* category,
                                LPCOLESTR instance, const REGFILTER2* setup) override {
        if (setup == nullptr) {
            return E_POINTER;
        }
        if (moniker != nullptr && *moniker != nullptr) {
            return E_NOTIMPL;
        }
        std::vector<PinRecord> pins;
        HRESULT hr = ReadPins(*setup, pins);
        if (FAILED(hr)) {
            return hr;
        }
        std::wstring friendlyName;
        if (name != nullptr) {
            friendlyName = name;
        } else {
            hr = ClassName(filter, friendlyName); // the class's own name, as registered
            if (FAILED(hr)) {
                return hr;
            }
        }
        std::vector<BYTE> data = FilterDataWriter().Build(setup->dwMerit, pins);
        Key key;
        hr = FromRegistry(key.Create(HKEY_CLASSES_ROOT, InstanceKey(category, instance, filter)));
        if (SUCCEEDED(hr)) {
            hr = FromRegistry(SetString(key.Get(), L"FriendlyName", friendlyName));
        }
        if (SUCCEEDED(hr)) {
            hr = FromRegistry(SetString(key.Get(), L"CLSID", GuidText(filter)));
        }
        if (SUCCEEDED(hr)) {
            hr = FromRegistry(RegSetValueExW(key.Get(), L"FilterData", 0, REG_BINARY, data.data(),
                                             static_cast<DWORD>(data.size())));
        }
        return hr;
    }

    STDMETHODIMP EnumMatchingFilters(IEnumMoniker** ppEnum, DWORD, BOOL, DWORD, BOOL, DWORD, const GUID*,
                                     const REGPINMEDIUM*, const CLSID*, BOOL, BOOL, DWORD, const GUID*,
                                     const REGPINMEDIUM*, const CLSID*) override {
        if (ppEnum != nullptr) {
            *ppEnum = nullptr;
        }
        return E_NOTIMPL;
    }

    // IFilterMapper
    STDMETHODIMP RegisterFilter(CLSID filter, LPCWSTR name, DWORD merit) override {
        if (name == nullptr) {
            return E_POINTER;
        }
        Key listed;
        HRESULT hr = FromRegistry(listed.Create(HKEY_CLASSES_ROOT, L"Filter\\" + GuidText(filter)));
        if (SUCCEEDED(hr)) {
            hr = FromRegistry(SetString(listed.Get(), nullptr, name));
        }
        Key clsid;
        if (SUCCEEDED(hr)) {
            hr = FromRegistry(clsid.Create(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(filter)));
        }
        if (SUCCEEDED(hr)) {
            hr = FromRegistry(SetString(clsid.Get(), nullptr, name));
        }
        if (SUCCEEDED(hr)) {
            hr = FromRegistry(SetDword(clsid.Get(), L"Merit", merit));
        }
        return hr;
    }

    STDMETHODIMP RegisterFilterInstance(CLSID, LPCWSTR, CLSID* instance) override {
        if (instance != nullptr) {
            *instance = GUID_NULL;
        }
        return E_NOTIMPL;
    }

    STDMETHODIMP RegisterPin(CLSID filter, LPCWSTR name, BOOL rendered, BOOL output, BOOL zero, BOOL many,
                             CLSID connectsToFilter, LPCWSTR connectsToPin) override {
        if (name == nullptr) {
            return E_INVALIDARG;
        }
        Key clsid;
        HRESULT hr = FromRegistry(clsid.Open(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(filter)));
        Key pin;
        if (SUCCEEDED(hr)) {
            hr = FromRegistry(pin.Create(clsid.Get(), std::wstring(L"Pins\\") + name));
        }
        const struct {
            const wchar_t* name;
            BOOL value;
        } flags[] = {{L"AllowedMany", many},
                     {L"AllowedZero", zero},
                     {L"Direction", output},
                     {L"IsRendered", rendered}};
        for (const auto& flag : flags) {
            if (SUCCEEDED(hr)) {
                hr = FromRegistry(SetDword(pin.Get(), flag.name, flag.value ? 1 : 0));
            }
        }
        if (SUCCEEDED(hr)) {
            hr = FromRegistry(SetString(pin.Get(), L"Connects to Filter", GuidText(connectsToFilter)));
        }
        if (SUCCEEDED(hr)) {
            hr = FromRegistry(
                SetString(pin.Get(), L"Connects to Pin", connectsToPin != nullptr ? connectsToPin : L""));
        }
        Key types;
        if (SUCCEEDED(hr)) {
            hr = FromRegistry(types.Create(pin.Get(), L"Types"));
        }
        return hr;
    }

    STDMETHODIMP RegisterPinType(CLSID filter, LPCWSTR pinName, CLSID major, CLSID sub) override {
        if (pinName == nullptr) {
            return E_INVALIDARG;
        }
        Key pin;
        HRESULT hr =
            FromRegistry(pin.Open(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(filter) + L"\\Pins\\" + pinName));
        Key type;
        if (SUCCEEDED(hr)) {
            hr = FromRegistry(type.Create(pin.Get(), L"Types\\" + GuidText(major) + L"\\" + GuidText(sub)));
        }
        return hr;
    }

    // Answers the failure of removing the filter's listing (0x80070002 when it was not listed) after
    // removing its merit and pins as well.
    STDMETHODIMP UnregisterFilter(CLSID filter) override {
        HRESULT hr =
            FromRegistry(RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"Filter\\" + GuidText(filter)).c_str()));
        Key clsid;
        if (clsid.Open(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(filter)) == ERROR_SUCCESS) {
            RegDeleteValueW(clsid.Get(), L"Merit");
            RegDeleteTreeW(clsid.Get(), L"Pins");
        }
        return hr;
    }

    STDMETHODIMP UnregisterFilterInstance(CLSID) override { return E_NOTIMPL; }

    STDMETHODIMP UnregisterPin(CLSID filter, LPCWSTR name) override {
        if (name == nullptr) {
            return E_INVALIDARG;
        }
        return FromRegistry(
            RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(filter) + L"\\Pins\\" + name).c_str()));
    }

    STDMETHODIMP EnumMatchingFilters(IEnumRegFilters** ppEnum, DWORD, BOOL, CLSID, CLSID, BOOL, BOOL, CLSID,
                                     CLSID) override {
        if (ppEnum != nullptr) {
            *ppEnum = nullptr;
        }
        return E_NOTIMPL;
    }

private:
    ~FilterMapper() = default;

    static HRESULT ReadPins(const REGFILTER2& setup, std::vector<PinRecord>& pins) {
        if (setup.dwVersion == 1) {
            if (setup.cPins != 0 && setup.rgPins == nullptr) {
                return E_POINTER;
            }
            for (ULONG i = 0; i < setup.cPins; ++i) {
                const REGFILTERPINS& in = setup.rgPins[i];
                PinRecord pin;
                pin.flags = (in.bZero ? REG_PINFLAG_B_ZERO : 0) |
                            (in.bRendered ? REG_PINFLAG_B_RENDERER : 0) |
                            (in.bMany ? REG_PINFLAG_B_MANY : 0) | (in.bOutput ? REG_PINFLAG_B_OUTPUT : 0);
                if (in.nMediaTypes != 0 && in.lpMediaType == nullptr) {
                    return E_POINTER;
                }
                pin.types.assign(in.lpMediaType, in.lpMediaType + in.nMediaTypes);
                pins.push_back(std::move(pin));
            }
            return S_OK;
        }
        if (setup.dwVersion == 2) {
            if (setup.cPins2 != 0 && setup.rgPins2 == nullptr) {
                return E_POINTER;
            }
            for (ULONG i = 0; i < setup.cPins2; ++i) {
                const REGFILTERPINS2& in = setup.rgPins2[i];
                if ((in.nMediaTypes != 0 && in.lpMediaType == nullptr) ||
                    (in.nMediums != 0 && in.lpMedium == nullptr)) {
                    return E_POINTER;
                }
                PinRecord pin;
                pin.flags = in.dwFlags;
                pin.instances = in.cInstances;
                pin.types.assign(in.lpMediaType, in.lpMediaType + in.nMediaTypes);
                pin.mediums.assign(in.lpMedium, in.lpMedium + in.nMediums);
                pin.category = in.clsPinCategory;
                pins.push_back(std::move(pin));
            }
            return S_OK;
        }
        return E_INVALIDARG;
    }

    static HRESULT ClassName(REFCLSID filter, std::wstring& name) {
        Key key;
        HRESULT hr = FromRegistry(key.Open(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(filter)));
        if (FAILED(hr)) {
            return hr;
        }
        WCHAR text[MAX_PATH];
        DWORD size = sizeof text;
        DWORD type = 0;
        hr = FromRegistry(
            RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(text), &size));
        if (SUCCEEDED(hr) && type != REG_SZ) {
            hr = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
        }
        if (SUCCEEDED(hr)) {
            text[ARRAYSIZE(text) - 1] = 0;
            name = text;
        }
        return hr;
    }

    std::atomic<ULONG> m_refs{1};
};

// The class object of both mapper classes; it lives as long as the process.
class MapperFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* mapper = new (std::nothrow) FilterMapper();
        if (mapper == nullptr) {
            return E_OUTOFMEMORY;
        }
        HRESULT hr = mapper->QueryInterface(riid, ppv);
        static_cast<IFilterMapper2*>(mapper)->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

MapperFactory g_mapperFactory;

} // namespace

HRESULT qxplatform::BuiltinClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    *ppv = nullptr;
    if (clsid == CLSID_FilterMapper2 || clsid == CLSID_FilterMapper) {
        return g_mapperFactory.QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}
