// A property frame: what OleCreatePropertyFrame does for an application on Windows. It asks an
// object's ISpecifyPropertyPages for its pages, creates each by class identifier, gives each a page
// site and the object, and shows one page at a time in a frame window with OK, Cancel and Apply
// buttons. Apply is enabled once a page reports itself dirty.
//
// This host has no message loop, so the frame is modeless: Open returns with the first page active,
// and the caller drives it (ActivatePage, Apply, Close, or the buttons through the window layer)
// until IsClosed.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <winuser.h>

#include <functional>
#include <string>
#include <vector>

class PropertyFrame {
public:
    // Makes the page of a class: one reference to its IPropertyPage.
    using PageFactory = std::function<HRESULT(REFCLSID clsid, IPropertyPage** ppPage)>;

    // CoCreateInstance of the class as an in-process server: how pages come from their modules.
    static HRESULT CreatePageThroughCom(REFCLSID clsid, IPropertyPage** ppPage);

    // Button identifiers of the frame window (the Apply button's is a property sheet's).
    static const int kApplyButtonId = 0x3021;

    explicit PropertyFrame(PageFactory factory = CreatePageThroughCom);
    ~PropertyFrame(); // closes the frame if it is open
    PropertyFrame(const PropertyFrame&) = delete;
    PropertyFrame& operator=(const PropertyFrame&) = delete;

    // Opens the frame on object inside parent (null: a top-level frame): creates every page the
    // object names, connects it and activates the first. A page that cannot be created or does not
    // accept the object is left out; the call fails with that page's error when none is left,
    // E_NOINTERFACE when the object has no ISpecifyPropertyPages, E_UNEXPECTED when already open.
    HRESULT Open(IUnknown* object, LPCWSTR caption, HWND parent = nullptr);

    // Deactivates the page shown and activates page index in the page area.
    HRESULT ActivatePage(size_t index);
    // Apply on every page that reported a change; the Apply button is disabled again when all
    // succeeded. The first failure is answered.
    HRESULT Apply();
    // Deactivates the page shown, disconnects and releases every page, destroys the window.
    HRESULT Close();

    bool IsOpen() const { return m_hwnd != nullptr; }
    // Set when the frame was closed by its OK or Cancel button (or Close).
    bool IsClosed() const { return m_closed; }
    HWND Window() const { return m_hwnd; }
    size_t PageCount() const { return m_pages.size(); }
    size_t ActivePage() const { return m_active; }
    IPropertyPage* Page(size_t index) const { return m_pages[index].page; }
    const std::wstring& PageTitle(size_t index) const { return m_pages[index].title; }
    // Where the pages sit inside the frame window, in pixels.
    RECT PageArea() const { return m_pageArea; }
    // Whether any page has reported a change since the last successful Apply.
    bool IsDirty() const;
    // How many times pages called OnStatusChange, for front ends that redraw on it.
    unsigned StatusChanges() const { return m_statusChanges; }

private:
    class Site;
    struct Entry {
        IPropertyPage* page = nullptr;
        Site* site = nullptr;
        std::wstring title;
        SIZE size = {0, 0};
        bool dirty = false;
    };

    void OnStatusChange(Site* site, DWORD flags);
    void UpdateApplyButton();
    HRESULT CreateFrameWindow(LPCWSTR caption, HWND parent);
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    PageFactory m_factory;
    std::vector<Entry> m_pages;
    HWND m_hwnd = nullptr;
    HWND m_apply = nullptr;
    RECT m_pageArea = {0, 0, 0, 0};
    size_t m_active = 0;
    bool m_pageActive = false;
    bool m_closed = false;
    unsigned m_statusChanges = 0;
};
