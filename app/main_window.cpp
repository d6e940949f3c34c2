#include "app/main_window.h"

#include <initializer_list>
#include <utility>
#include <vector>

#include "app/apply_mailbox.h"
#include "app/colour_label.h"
#include "app/gbk_text.h"
#include "app/mailbox_edit.h"
#include "app/mailbox_request.h"

namespace quorvane {

namespace {

constexpr int kWindowWidth = 768;
constexpr int kWindowHeight = 570;

// The window's own texts (GBK).
constexpr char kPromptText[] = "*\xC7\xEB\xCA\xE4\xC8\xEB\xD2\xAA\xB8\xC4\xB5\xC4\xD3\xCA\xCF\xE4\xA3\xBA";  // *请输入要改的邮箱：
constexpr char kButtonText[] = "\xD2\xBB\xBC\xFC\xC9\xEA\xC7\xEB";  // 一键申请
constexpr char kInitialMailboxName[] = "325931666666666666666666666666666";

constexpr COLORREF kPromptColour = RGB(255, 0, 0);
constexpr COLORREF kMailDomainColour = RGB(88, 48, 224);

// left, top, width, height
RECT Place(int left, int top, int width, int height) { return RECT{left, top, left + width, top + height}; }

HWND CreateChild(HWND parent, const wchar_t* windowClass, const std::wstring& text, DWORD style, const RECT& place,
                 int id) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    const HWND child = CreateWindowExW(0, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | style, place.left,
                                       place.top, place.right - place.left, place.bottom - place.top, parent,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (child) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return child;
}

bool ModifierDown(int key) { return (GetKeyState(key) & 0x8000) != 0; }

}  // namespace

MainWindow::MainWindow(SiteConfig site) : site_(std::move(site)) {}

MainWindow::~MainWindow() {
    if (window_ && IsWindow(window_)) DestroyWindow(window_);
}

bool MainWindow::Create(HINSTANCE instance, int showCommand) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &MainWindow::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kMainWindowClass;
    if (!RegisterClassExW(&windowClass)) return false;

    const WindowOrigin origin =
        CentredOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), kWindowWidth, kWindowHeight);
    const std::wstring caption = WideFromGbk(MainWindowCaption(site_.captionSiteDomain));
    window_ = CreateWindowExW(WS_EX_DLGMODALFRAME, kMainWindowClass, caption.c_str(),
                              WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, origin.x, origin.y,
                              kWindowWidth, kWindowHeight, nullptr, nullptr, instance, this);
    if (!window_) return false;
    if (!CreateControls()) {
        DestroyWindow(window_);
        return false;
    }
    OnCreated();
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
    SetFocus(edit_);
    return true;
}

bool MainWindow::CreateControls() {
    const HWND parent = window_;
    BrowserSettings settings;  // FontSize 2, Offline false, Silent true

    // 官方网站: off-screen, loads the maker's second host once (nothing when it is empty).
    officialView_ = BrowserView::Create(parent, kOfficialSiteView, Place(-248, -136, 8, 16), true, settings,
                                        WideFromGbk(OfficialSiteAddress(site_.officialSiteHost)));

    // 分组框1 with 超级链接框1 inside: an empty caption and an empty link address.
    const HWND group = CreateChild(parent, L"BUTTON", L"", BS_GROUPBOX, Place(512, 1, 248, 40), kGroupBox1);
    if (!group) return false;
    if (!CreateChild(group, L"STATIC", L"", SS_LEFT, Place(7, 14, 235, 16), kHyperLinker1)) return false;

    // 超文本浏览框1: the service's home page.
    serviceView_ = BrowserView::Create(parent, kServiceView, Place(2, 49, 758, 487), true, settings,
                                       WideFromGbk(ServiceHomePage(site_.serviceWebHost)));
    if (!serviceView_) return false;

    // 按钮1: an ordinary push button, never the default one.
    button_ = CreateChild(parent, L"BUTTON", WideFromGbk(kButtonText),
                          WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER, Place(417, 11, 72, 24), kButton1);
    if (!button_) return false;

    if (!CreateColourLabel(parent, kLabel2, Place(350, 12, 61, 24),
                           WideFromGbk(MailDomainLabel(site_.serviceMailDomain)), kMailDomainColour)) {
        return false;
    }
    if (!CreateColourLabel(parent, kLabel1, Place(3, 12, 112, 24), WideFromGbk(kPromptText), kPromptColour)) {
        return false;
    }

    edit_ = CreateMailboxEdit(parent, kEditBox1, Place(120, 14, 227, 24), WideFromGbk(kInitialMailboxName));
    return edit_ != nullptr;
}

Text MainWindow::MailboxName() const {
    if (!edit_ || !IsWindow(edit_)) return {};
    const int length = GetWindowTextLengthW(edit_);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(edit_, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return GbkFromWide(text);
}

bool MainWindow::RefreshServiceView() {
    if (!window_ || !serviceView_ || !IsWindow(serviceView_->Window())) return false;
    serviceView_->Refresh(WideFromGbk(ServiceHomePage(site_.serviceWebHost)));
    return true;
}

bool MainWindow::IsOwnWindow(HWND window) const {
    return window_ && window && (window == window_ || IsChild(window_, window));
}

bool MainWindow::PreTranslate(MSG& message) {
    const bool keyMessage = message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST;
    const bool mouseMessage = message.message >= WM_MOUSEFIRST && message.message <= WM_MOUSELAST;
    if (!window_ || !IsOwnWindow(message.hwnd) || !(keyMessage || mouseMessage)) return false;

    for (BrowserView* view : {serviceView_.get(), officialView_.get()}) {
        if (view && view->HasFocus()) {
            if (view->TranslateAccelerator(message)) return true;
            break;
        }
    }
    if (message.message != WM_KEYDOWN) return false;
    const bool control = ModifierDown(VK_CONTROL), shift = ModifierDown(VK_SHIFT), alt = ModifierDown(VK_MENU);
    if (message.wParam == VK_ESCAPE && !control && !shift && !alt) {
        SendMessageW(window_, WM_CLOSE, 0, 0);
        return true;
    }
    if (message.wParam == VK_TAB && !control && !alt) {
        MoveFocus(shift);
        return true;
    }
    return false;
}

void MainWindow::MoveFocus(bool backwards) {
    std::vector<HWND> order{edit_, button_};
    if (serviceView_ && IsWindowVisible(serviceView_->Window())) order.push_back(serviceView_->Window());
    const HWND focus = GetFocus();
    std::size_t current = order.size();
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (focus && (focus == order[i] || IsChild(order[i], focus))) current = i;
    }
    std::size_t next = 0;
    if (current == order.size()) {
        next = backwards ? order.size() - 1 : 0;
    } else {
        next = backwards ? (current + order.size() - 1) % order.size() : (current + 1) % order.size();
    }
    SetFocus(order[next]);
}

void MainWindow::OnDestroy() {
    // The views go with the window; a request still waiting sees them gone.
    serviceView_.reset();
    officialView_.reset();
    edit_ = nullptr;
    button_ = nullptr;
    lastFocus_ = nullptr;
    PostQuitMessage(0);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* created = static_cast<MainWindow*>(creation->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
        if (created) created->window_ = window;
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->Handle(message, wParam, lParam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == kButton1 && HIWORD(wParam) == BN_CLICKED) {
                ApplyMailbox(*this);
                return 0;
            }
            break;
        case WM_DRAWITEM:
            if (lParam && DrawColourLabel(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return TRUE;
            break;
        case WM_CTLCOLOREDIT: {
            const auto dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, RGB(0, 0, 0));
            SetBkColor(dc, RGB(255, 255, 255));
            return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
        }
        case WM_ACTIVATE:
            // Keep the focus on the control that had it when the window is activated again.
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focus = GetFocus();
                if (IsOwnWindow(focus) && focus != window_) lastFocus_ = focus;
            } else if (!HIWORD(wParam)) {
                const HWND target = lastFocus_ && IsWindow(lastFocus_) ? lastFocus_ : edit_;
                if (target) SetFocus(target);
            }
            return 0;
        case WM_DESTROY:
            OnDestroy();
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace quorvane
