#include "tests/support/window_driver.h"

#if defined(_WIN32)

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <utility>

namespace quorvane {

namespace {

struct WindowSearch {
    const wchar_t* className;
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    if (!IsWindowVisible(window)) return TRUE;
    if (ClassNameOf(window) != search->className) return TRUE;
    if (search->processId != 0) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != search->processId) return TRUE;
    }
    search->found = window;
    return FALSE;
}

struct IdSearch {
    int id;
    HWND found;
};

BOOL CALLBACK MatchId(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<IdSearch*>(param);
    if (GetDlgCtrlID(window) != search->id) return TRUE;
    search->found = window;
    return FALSE;
}

// Joins the calling thread's input to the thread of `window` for its lifetime, so that
// SetFocus and GetFocus act on that thread's focus.
class AttachedInput {
public:
    explicit AttachedInput(HWND window)
        : self_(GetCurrentThreadId()), other_(GetWindowThreadProcessId(window, nullptr)) {
        attached_ = other_ != 0 && other_ != self_ && AttachThreadInput(self_, other_, TRUE);
    }
    AttachedInput(const AttachedInput&) = delete;
    AttachedInput& operator=(const AttachedInput&) = delete;
    ~AttachedInput() {
        if (attached_) AttachThreadInput(self_, other_, FALSE);
    }

private:
    DWORD self_, other_;
    bool attached_ = false;
};

class OpenedClipboard {
public:
    OpenedClipboard() {
        for (int attempt = 0; attempt < 50 && !open_; ++attempt) {
            open_ = OpenClipboard(nullptr) != FALSE;
            if (!open_) Sleep(20);
        }
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
    ~OpenedClipboard() {
        if (open_) CloseClipboard();
    }
    bool IsOpen() const { return open_; }

private:
    bool open_ = false;
};

class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    ~ScreenDc() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

class MemoryDc {
public:
    explicit MemoryDc(HDC compatible) : dc_(CreateCompatibleDC(compatible)) {}
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    ~MemoryDc() {
        if (dc_) DeleteDC(dc_);
    }
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

class Bitmap {
public:
    explicit Bitmap(HBITMAP bitmap) : bitmap_(bitmap) {}
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;
    ~Bitmap() {
        if (bitmap_) DeleteObject(bitmap_);
    }
    HBITMAP Get() const { return bitmap_; }

private:
    HBITMAP bitmap_;
};

class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() { SelectObject(dc_, previous_); }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

INPUT KeyInput(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

}  // namespace

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : process_(std::exchange(other.process_, nullptr)),
      thread_(std::exchange(other.thread_, nullptr)),
      id_(std::exchange(other.id_, 0)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        this->~ChildProcess();
        process_ = std::exchange(other.process_, nullptr);
        thread_ = std::exchange(other.thread_, nullptr);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

ChildProcess::~ChildProcess() {
    if (process_) {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, 5000);
        }
        CloseHandle(process_);
    }
    if (thread_) CloseHandle(thread_);
}

std::optional<ChildProcess> ChildProcess::Start(const std::wstring& path,
                                                const std::vector<std::wstring>& environment) {
    // The child's environment: ours, with the given entries replacing those of the same name.
    std::vector<std::wstring> entries;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
            entries.emplace_back(entry);
        }
        FreeEnvironmentStringsW(block);
    }
    for (const std::wstring& added : environment) {
        const std::wstring name = added.substr(0, added.find(L'=') + 1);
        std::erase_if(entries, [&](const std::wstring& e) {
            return _wcsnicmp(e.c_str(), name.c_str(), name.size()) == 0;
        });
        entries.push_back(added);
    }
    std::wstring block;
    for (const std::wstring& entry : entries) {
        block += entry;
        block.push_back(L'\0');
    }
    block.push_back(L'\0');

    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr, &startup, &info)) {
        return std::nullopt;
    }
    ChildProcess child;
    child.process_ = info.hProcess;
    child.thread_ = info.hThread;
    child.id_ = info.dwProcessId;
    return child;
}

std::optional<DWORD> ChildProcess::WaitForExit(DWORD timeoutMs) const {
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(process_, &code)) return std::nullopt;
    return code;
}

void ChildProcess::Kill() const {
    if (process_) TerminateProcess(process_, 1);
}

std::wstring ProgramDirectory() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length);
    return directory.substr(0, directory.find_last_of(L"\\/") + 1);
}

HWND WaitForWindow(const wchar_t* className, DWORD processId, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        WindowSearch search{className, processId, nullptr};
        EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(50);
    }
}

HWND FindControl(HWND window, int id) {
    if (HWND direct = GetDlgItem(window, id)) return direct;
    IdSearch search{id, nullptr};
    EnumChildWindows(window, MatchId, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// WM_GETTEXT rather than GetWindowText: for a window of another process GetWindowText
// returns the stored caption, which an edit control does not keep up to date.
std::wstring WindowTextWide(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &length)) return L"";
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_NORMAL, 5000, &copied);
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

std::string WindowTextAnsi(HWND window) {
    // Characters may take two bytes each; ask generously.
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &length)) return "";
    std::string text(static_cast<size_t>(length) * 2 + 2, '\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_NORMAL, 5000, &copied);
    text.resize(strnlen(text.c_str(), text.size()));
    return text;
}

std::wstring ClassNameOf(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, static_cast<size_t>(length > 0 ? length : 0));
}

RECT WindowRectOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

RECT ClientRectOf(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    return rect;
}

RECT RectInParent(HWND control) {
    RECT rect = WindowRectOf(control);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

LONG_PTR StyleOf(HWND window) { return GetWindowLongPtrW(window, GWL_STYLE); }
LONG_PTR ExStyleOf(HWND window) { return GetWindowLongPtrW(window, GWL_EXSTYLE); }

HWND FocusedControl(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

bool FocusControl(HWND control) {
    // The focus change reaches the other thread's state shortly after the call; retry
    // for a while on a loaded machine.
    for (int attempt = 0; attempt < 40; ++attempt) {
        {
            AttachedInput attached(control);
            SetFocus(control);
        }
        WaitForIdle(control);
        if (FocusedControl(control) == control) return true;
        Sleep(50);
    }
    return false;
}

bool BringToForeground(HWND window) {
    AttachedInput attached(window);
    SetForegroundWindow(window);
    SetActiveWindow(window);
    return GetForegroundWindow() == window;
}

void PostButtonClick(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

bool MouseClick(HWND control) {
    const RECT rect = WindowRectOf(control);
    const int x = (rect.left + rect.right) / 2, y = (rect.top + rect.bottom) / 2;
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    INPUT inputs[3]{};
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = MulDiv(x, 65535, width - 1);
        input.mi.dy = MulDiv(y, 65535, height - 1);
    }
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    return SendInput(3, inputs, sizeof(INPUT)) == 3;
}

void TypeCharacters(HWND control, const std::wstring& characters) {
    for (wchar_t c : characters) SendMessageW(control, WM_CHAR, c, 1);
}

void PostCharacters(HWND control, const std::wstring& characters, bool replace) {
    if (replace) PostMessageW(control, EM_SETSEL, 0, -1);
    for (wchar_t c : characters) PostMessageW(control, WM_CHAR, c, 1);
}

void SetText(HWND control, const std::wstring& text) {
    SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool PasteText(HWND control, const std::wstring& text) {
    {
        OpenedClipboard clipboard;
        if (!clipboard.IsOpen() || !EmptyClipboard()) return false;
        const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
        if (!memory) return false;
        void* data = GlobalLock(memory);
        if (!data) {
            GlobalFree(memory);
            return false;
        }
        memcpy(data, text.c_str(), bytes);
        GlobalUnlock(memory);
        if (!SetClipboardData(CF_UNICODETEXT, memory)) {  // the clipboard owns it on success
            GlobalFree(memory);
            return false;
        }
    }
    SendMessageW(control, WM_PASTE, 0, 0);
    return true;
}

bool SendKey(WORD virtualKey, bool shift) {
    std::vector<INPUT> inputs;
    if (shift) inputs.push_back(KeyInput(VK_SHIFT, false));
    inputs.push_back(KeyInput(virtualKey, false));
    inputs.push_back(KeyInput(virtualKey, true));
    if (shift) inputs.push_back(KeyInput(VK_SHIFT, true));
    const UINT count = static_cast<UINT>(inputs.size());
    return SendInput(count, inputs.data(), sizeof(INPUT)) == count;
}

void AskToClose(HWND window) { PostMessageW(window, WM_CLOSE, 0, 0); }

RECT ClientRectOnScreen(HWND window) {
    RECT rect = ClientRectOf(window);
    MapWindowPoints(window, HWND_DESKTOP, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::optional<Capture> CaptureScreenRect(const RECT& screenRect) {
    const int width = screenRect.right - screenRect.left;
    const int height = screenRect.bottom - screenRect.top;
    if (width <= 0 || height <= 0) return std::nullopt;
    ScreenDc screen;
    if (!screen.Get()) return std::nullopt;
    MemoryDc memory(screen.Get());
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    Bitmap bitmap(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!memory.Get() || !bitmap.Get() || !bits) return std::nullopt;
    {
        SelectedObject selected(memory.Get(), bitmap.Get());
        if (!BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), screenRect.left,
                    screenRect.top, SRCCOPY)) {
            return std::nullopt;
        }
        GdiFlush();
    }
    Capture capture;
    capture.width = width;
    capture.height = height;
    capture.pixels.reserve(static_cast<size_t>(width) * height);
    const auto* pixel = static_cast<const unsigned char*>(bits);  // B, G, R, unused
    for (int i = 0; i < width * height; ++i, pixel += 4) {
        capture.pixels.push_back(RGB(pixel[2], pixel[1], pixel[0]));
    }
    return capture;
}

void WaitForIdle(HWND window, DWORD timeoutMs) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result);
}

}  // namespace quorvane

#endif  // _WIN32
