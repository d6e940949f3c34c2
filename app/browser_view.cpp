#include "app/browser_view.h"

#include "app/mailbox_request.h"

#include <oleauto.h>

#include <new>
#include <utility>

namespace quorvane {

namespace {

constexpr wchar_t kViewClass[] = L"QuorvaneBrowserView";

// {8856F961-340A-11D0-A96B-00C04FD705A2}
constexpr CLSID kWebBrowserClass = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
// {D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}
constexpr IID kWebBrowser2Interface = {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};

constexpr OLECMDID kZoomCommand = static_cast<OLECMDID>(19);                       // OLECMDID_ZOOM
constexpr OLECMDEXECOPT kDontPrompt = static_cast<OLECMDEXECOPT>(2);               // OLECMDEXECOPT_DONTPROMPTUSER

// Owns one BSTR.
class OwnedBstr {
public:
    OwnedBstr() = default;
    explicit OwnedBstr(const std::wstring& text) : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~OwnedBstr() { SysFreeString(value_); }
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    BSTR Get() const { return value_; }
    BSTR* Put() {
        SysFreeString(std::exchange(value_, nullptr));
        return &value_;
    }
    std::wstring Value() const { return value_ ? std::wstring(value_, SysStringLen(value_)) : std::wstring(); }

private:
    BSTR value_ = nullptr;
};

// Owns one VARIANT.
class OwnedVariant {
public:
    OwnedVariant() { VariantInit(&value_); }
    explicit OwnedVariant(LONG number) : OwnedVariant() {
        value_.vt = VT_I4;
        value_.lVal = number;
    }
    ~OwnedVariant() { VariantClear(&value_); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    VARIANT* Get() { return &value_; }

private:
    VARIANT value_;
};

bool RegisterViewClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (GetClassInfoExW(instance, kViewClass, &windowClass)) return true;
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kViewClass;
    return RegisterClassExW(&windowClass) != 0;
}

}  // namespace

std::unique_ptr<BrowserView> BrowserView::Create(HWND parent, int id, const RECT& place, bool tabStop,
                                                 const BrowserSettings& settings,
                                                 const std::wstring& startAddress) {
    std::unique_ptr<BrowserView> view(new (std::nothrow) BrowserView());
    if (!view || !view->CreateWindowAndControl(parent, id, place, tabStop)) return nullptr;
    view->Apply(settings);
    if (!startAddress.empty()) view->Navigate(startAddress);
    return view;
}

bool BrowserView::CreateWindowAndControl(HWND parent, int id, const RECT& place, bool tabStop) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    if (!RegisterViewClass(instance, &BrowserView::WindowProc)) return false;
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    if (tabStop) style |= WS_TABSTOP;
    window_ = CreateWindowExW(0, kViewClass, L"", style, place.left, place.top, place.right - place.left,
                              place.bottom - place.top, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!window_) return false;
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    site_ = ComPtr<BrowserSite>::Adopt(BrowserSite::Create(window_));
    if (!site_) return true;
    if (FAILED(CoCreateInstance(kWebBrowserClass, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                object_.PutVoid()))) {
        return true;
    }
    if (FAILED(object_->SetClientSite(static_cast<IOleClientSite*>(site_.Get())))) {
        object_.Reset();
        return true;
    }
    OleSetContainedObject(object_.Get(), TRUE);
    RECT area{};
    GetClientRect(window_, &area);
    object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(site_.Get()), 0, window_,
                    &area);
    browser_ = object_.As<IWebBrowser2>(kWebBrowser2Interface);
    if (browser_) {
        browser_->put_Left(0);
        browser_->put_Top(0);
        browser_->put_Width(area.right);
        browser_->put_Height(area.bottom);
    }
    return true;
}

void BrowserView::Apply(const BrowserSettings& settings) {
    if (!browser_) return;
    browser_->put_Offline(settings.offline ? VARIANT_TRUE : VARIANT_FALSE);
    browser_->put_Silent(settings.silent ? VARIANT_TRUE : VARIANT_FALSE);
    OwnedVariant zoom(ClampFontSize(settings.fontSize));
    browser_->ExecWB(kZoomCommand, kDontPrompt, zoom.Get(), nullptr);
}

BrowserView::~BrowserView() {
    Close();
    if (window_ && IsWindow(window_)) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

void BrowserView::Close() {
    browser_.Reset();
    if (object_) {
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_.Reset();
    }
    if (site_) {
        site_->Detach();
        site_.Reset();
    }
}

bool BrowserView::HasFocus() const {
    if (!window_) return false;
    const HWND focus = GetFocus();
    return focus && (focus == window_ || IsChild(window_, focus));
}

bool BrowserView::TranslateAccelerator(MSG& message) {
    const auto active = object_.As<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject);
    return active && active->TranslateAccelerator(&message) == S_OK;
}

bool BrowserView::Navigate(const std::wstring& url) {
    if (!browser_) return false;
    OwnedBstr address(url);
    if (!address.Get()) return false;
    OwnedVariant flags(0);
    OwnedVariant targetFrame, postData, headers;
    return SUCCEEDED(browser_->Navigate(address.Get(), flags.Get(), targetFrame.Get(), postData.Get(), headers.Get()));
}

void BrowserView::Refresh(const std::wstring& fallbackUrl) {
    if (!browser_) return;
    if (SUCCEEDED(browser_->Refresh())) return;
    OwnedBstr location;
    std::wstring target;
    if (SUCCEEDED(browser_->get_LocationURL(location.Put()))) target = location.Value();
    Navigate(target.empty() ? fallbackUrl : target);
}

LRESULT CALLBACK BrowserView::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* view = reinterpret_cast<BrowserView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_SETFOCUS && view) {
        // Focus given to the view goes on to the control's own window.
        const auto active = view->object_.As<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject);
        HWND inner = nullptr;
        if (active && SUCCEEDED(active->GetWindow(&inner)) && inner && inner != window && IsWindow(inner)) {
            SetFocus(inner);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace quorvane
