#include "host/PropertyFrame.h"

#include <winnls.h>

#include <algorithm>
#include <atomic>

namespace {

const char kFrameClass[] = "QuenlixPropertyFrame";
constexpr int kMargin = 7;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonGap = 6;

std::string Narrow(LPCWSTR text) {
    if (text == nullptr || *text == L'\0') {
        return std::string();
    }
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) {
        return std::string();
    }
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

} // namespace

// The page site of one page: tells the frame of the page's status changes. It outlives the frame's
// hold on it while the page keeps a reference; detached, it answers without a frame.
class PropertyFrame::Site : public IPropertyPageSite {
public:
    explicit Site(PropertyFrame* frame) : m_frame(frame) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IPropertyPageSite) {
            *ppv = static_cast<IPropertyPageSite*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_ref; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --m_ref;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    STDMETHODIMP OnStatusChange(DWORD dwFlags) override {
        if (m_frame != nullptr) {
            m_frame->OnStatusChange(this, dwFlags);
        }
        return S_OK;
    }
    STDMETHODIMP GetLocaleID(LCID* pLocaleID) override {
        if (pLocaleID == nullptr) {
            return E_POINTER;
        }
        *pLocaleID = LOCALE_USER_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP GetPageContainer(IUnknown** ppUnk) override {
        if (ppUnk != nullptr) {
            *ppUnk = nullptr;
        }
        return E_NOTIMPL;
    }
    // The frame has no accelerators of its own.
    STDMETHODIMP TranslateAccelerator(MSG* pMsg) override { return S_FALSE; }

    void Detach() { m_frame = nullptr; }

private:
    virtual ~Site() = default;

    std::atomic<ULONG> m_ref{1};
    PropertyFrame* m_frame;
};

HRESULT PropertyFrame::CreatePageThroughCom(REFCLSID clsid, IPropertyPage** ppPage) {
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                            reinterpret_cast<void**>(ppPage));
}

PropertyFrame::PropertyFrame(PageFactory factory) : m_factory(std::move(factory)) {}

PropertyFrame::~PropertyFrame() {
    Close();
}

HRESULT PropertyFrame::Open(IUnknown* object, LPCWSTR caption, HWND parent) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsOpen() || !m_pages.empty()) {
        return E_UNEXPECTED;
    }
    ISpecifyPropertyPages* specify = nullptr;
    HRESULT hr = object->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&specify));
    if (FAILED(hr) || specify == nullptr) {
        return E_NOINTERFACE;
    }
    CAUUID pages = {0, nullptr};
    hr = specify->GetPages(&pages);
    specify->Release();
    if (FAILED(hr)) {
        return hr;
    }
    HRESULT firstError = pages.cElems == 0 ? E_FAIL : S_OK;
    for (ULONG i = 0; i < pages.cElems; ++i) {
        Entry entry;
        hr = m_factory(pages.pElems[i], &entry.page);
        if (SUCCEEDED(hr) && entry.page == nullptr) {
            hr = E_POINTER;
        }
        if (SUCCEEDED(hr)) {
            entry.site = new Site(this);
            hr = entry.page->SetPageSite(entry.site);
        }
        if (SUCCEEDED(hr)) {
            hr = entry.page->SetObjects(1, &object);
        }
        PROPPAGEINFO info = {};
        if (SUCCEEDED(hr)) {
            info.cb = sizeof info;
            hr = entry.page->GetPageInfo(&info);
        }
        if (FAILED(hr)) {
            if (entry.page != nullptr) {
                entry.page->SetObjects(0, nullptr);
                entry.page->SetPageSite(nullptr);
                entry.page->Release();
            }
            if (entry.site != nullptr) {
                entry.site->Detach();
                entry.site->Release();
            }
            if (SUCCEEDED(firstError)) {
                firstError = hr;
            }
            continue;
        }
        entry.title = info.pszTitle != nullptr ? info.pszTitle : L"";
        entry.size = info.size;
        CoTaskMemFree(info.pszTitle);
        CoTaskMemFree(info.pszDocString);
        CoTaskMemFree(info.pszHelpFile);
        m_pages.push_back(std::move(entry));
    }
    CoTaskMemFree(pages.pElems);
    if (m_pages.empty()) {
        return FAILED(firstError) ? firstError : E_FAIL;
    }
    hr = CreateFrameWindow(caption, parent);
    if (SUCCEEDED(hr)) {
        m_closed = false;
        hr = ActivatePage(0);
    }
    if (FAILED(hr)) {
        Close();
        m_closed = false;
    }
    return hr;
}

HRESULT PropertyFrame::CreateFrameWindow(LPCWSTR caption, HWND parent) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = WindowProc;
        wc.lpszClassName = kFrameClass;
        if (RegisterClassA(&wc) == 0) {
            return E_FAIL;
        }
        registered = true;
    }
    LONG width = 0;
    LONG height = 0;
    for (const Entry& e : m_pages) {
        width = std::max(width, e.size.cx);
        height = std::max(height, e.size.cy);
    }
    width = std::max<LONG>(width, 3 * kButtonWidth + 2 * kButtonGap);
    m_pageArea = {kMargin, kMargin, kMargin + width, kMargin + height};
    const int buttonsTop = m_pageArea.bottom + kMargin;
    const int frameWidth = width + 2 * kMargin;
    const int frameHeight = buttonsTop + kButtonHeight + kMargin;
    std::string title = Narrow(caption);
    DWORD style = parent != nullptr ? WS_CHILD | WS_VISIBLE : WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    m_hwnd = CreateWindowExA(WS_EX_CONTROLPARENT, kFrameClass, title.c_str(), style, 0, 0, frameWidth,
                             frameHeight, parent, nullptr, nullptr, this);
    if (m_hwnd == nullptr) {
        return E_OUTOFMEMORY;
    }
    // OK, Cancel and Apply along the bottom right, as a property sheet has them.
    struct {
        int id;
        const char* text;
        DWORD style;
    } buttons[] = {{IDOK, "OK", BS_DEFPUSHBUTTON},
                   {IDCANCEL, "Cancel", BS_PUSHBUTTON},
                   {kApplyButtonId, "&Apply", BS_PUSHBUTTON | WS_DISABLED}};
    int x = frameWidth - kMargin - 3 * kButtonWidth - 2 * kButtonGap;
    for (const auto& b : buttons) {
        HWND button = CreateWindowExA(0, "Button", b.text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | b.style, x,
                                      buttonsTop, kButtonWidth, kButtonHeight, m_hwnd,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(b.id)), nullptr, nullptr);
        if (button == nullptr) {
            return E_OUTOFMEMORY;
        }
        if (b.id == kApplyButtonId) {
            m_apply = button;
        }
        x += kButtonWidth + kButtonGap;
    }
    return S_OK;
}

LRESULT CALLBACK PropertyFrame::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const CREATESTRUCTA* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    PropertyFrame* frame = reinterpret_cast<PropertyFrame*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (frame != nullptr && msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
        case IDOK:
            // OK applies what changed, then closes; a page that refuses keeps the frame open.
            if (SUCCEEDED(frame->Apply())) {
                frame->Close();
            }
            return 0;
        case IDCANCEL:
            frame->Close();
            return 0;
        case kApplyButtonId:
            frame->Apply();
            return 0;
        default:
            break;
        }
    }
    if (msg == WM_DESTROY && frame != nullptr) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HRESULT PropertyFrame::ActivatePage(size_t index) {
    if (!IsOpen() || index >= m_pages.size()) {
        return E_INVALIDARG;
    }
    if (m_pageActive) {
        if (index == m_active) {
            return S_OK;
        }
        m_pages[m_active].page->Deactivate();
        m_pageActive = false;
    }
    HRESULT hr = m_pages[index].page->Activate(m_hwnd, &m_pageArea, FALSE);
    if (FAILED(hr)) {
        return hr;
    }
    m_active = index;
    m_pageActive = true;
    return S_OK;
}

HRESULT PropertyFrame::Apply() {
    HRESULT result = S_OK;
    for (Entry& e : m_pages) {
        // A page's own word counts: IsPageDirty is asked as well as the status it reported.
        if (!e.dirty && e.page->IsPageDirty() != S_OK) {
            continue;
        }
        HRESULT hr = e.page->Apply();
        if (SUCCEEDED(hr)) {
            e.dirty = false;
        } else if (SUCCEEDED(result)) {
            result = hr;
        }
    }
    UpdateApplyButton();
    return result;
}

HRESULT PropertyFrame::Close() {
    const bool wasOpen = IsOpen() || !m_pages.empty();
    if (m_pageActive) {
        m_pages[m_active].page->Deactivate();
        m_pageActive = false;
    }
    for (Entry& e : m_pages) {
        e.page->SetObjects(0, nullptr);
        e.page->SetPageSite(nullptr);
        e.page->Release();
        e.site->Detach();
        e.site->Release();
    }
    m_pages.clear();
    if (m_hwnd != nullptr) {
        HWND hwnd = m_hwnd;
        m_hwnd = nullptr;
        m_apply = nullptr;
        DestroyWindow(hwnd);
    }
    if (wasOpen) {
        m_closed = true;
    }
    return S_OK;
}

bool PropertyFrame::IsDirty() const {
    for (const Entry& e : m_pages) {
        if (e.dirty) {
            return true;
        }
    }
    return false;
}

void PropertyFrame::OnStatusChange(Site* site, DWORD flags) {
    ++m_statusChanges;
    for (Entry& e : m_pages) {
        if (e.site == site && (flags & PROPPAGESTATUS_DIRTY) != 0) {
            e.dirty = true;
        }
    }
    UpdateApplyButton();
}

void PropertyFrame::UpdateApplyButton() {
    if (m_apply != nullptr) {
        EnableWindow(m_apply, IsDirty() ? TRUE : FALSE);
    }
}
