// A small driver for the program's main window, used by the window tests and by the run
// command (through window_driver.exe). It reaches the window from another process the way
// a user or an accessibility tool would: by class name, control identifier, window
// messages and synthesized input. Functions that send messages wait until the program
// handles them; while it waits in a request it handles only posted messages and input,
// so use the posting ones (PostButtonClick, PostCharacters, AskToClose) then.
#pragma once

#if defined(_WIN32)

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace quorvane {

// A started program: its process and thread handles, closed on destruction. The process
// is killed on destruction when it is still running, so no test leaves one behind.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ~ChildProcess();

    // Starts `path` (no arguments). `environment` entries "NAME=value" replace or extend
    // the current environment for the child.
    static std::optional<ChildProcess> Start(const std::wstring& path,
                                             const std::vector<std::wstring>& environment = {});

    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_; }
    // Waits for the process to end; the exit code, or nothing when it is still running.
    std::optional<DWORD> WaitForExit(DWORD timeoutMs) const;
    void Kill() const;

private:
    HANDLE process_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD id_ = 0;
};

// Directory of the running program, with a trailing backslash.
std::wstring ProgramDirectory();

// The first visible top-level window of `className` (of process `processId` when it is
// not 0), waiting up to `timeoutMs` for it to appear; null when none appears.
HWND WaitForWindow(const wchar_t* className, DWORD processId, DWORD timeoutMs);

// A control of the main window by identifier: a direct child (GetDlgItem) or, failing
// that, any descendant with that identifier (超级链接框1 sits inside 分组框1).
HWND FindControl(HWND window, int id);

std::wstring WindowTextWide(HWND window);
// The text as GetWindowTextA returns it: bytes of this process's ANSI code page.
std::string WindowTextAnsi(HWND window);
std::wstring ClassNameOf(HWND window);

RECT WindowRectOf(HWND window);  // screen coordinates
RECT ClientRectOf(HWND window);  // client coordinates (left and top 0)
// The outer rectangle of `control` in the client coordinates of its parent.
RECT RectInParent(HWND control);
LONG_PTR StyleOf(HWND window);
LONG_PTR ExStyleOf(HWND window);

// The control that holds the keyboard focus in the thread owning `window`, or null.
HWND FocusedControl(HWND window);
// Gives the focus to `control` (by joining the input of its thread for the call).
bool FocusControl(HWND control);
// Makes the window the foreground window, so that synthesized input reaches it.
bool BringToForeground(HWND window);

// Presses a button the way BM_CLICK does, posted so that the caller never waits for the
// click handler (which may run a long request).
void PostButtonClick(HWND button);
// A real left-button click at the centre of `control` through SendInput.
bool MouseClick(HWND control);

// Types each character as one WM_CHAR sent to the control, as the keyboard would deliver
// it, so the control's input filter applies.
void TypeCharacters(HWND control, const std::wstring& characters);
// The same with posted messages: the caller does not wait, and the characters reach the
// control even while the program waits in a request, where it handles posted input but
// not messages sent from other threads. With `replace` the control's text is selected
// first (EM_SETSEL), so the characters take its place.
void PostCharacters(HWND control, const std::wstring& characters, bool replace = false);
// Replaces the control's text, bypassing any input filter (WM_SETTEXT).
void SetText(HWND control, const std::wstring& text);
// Pastes `text` through the clipboard and WM_PASTE, as Ctrl+V would.
bool PasteText(HWND control, const std::wstring& text);

// Presses and releases `virtualKey` (with Shift held when `shift`) through SendInput;
// the key goes to the focused control of the foreground window.
bool SendKey(WORD virtualKey, bool shift = false);

// Asks the window to close, as its close box does (posted WM_CLOSE).
void AskToClose(HWND window);

// Pixels of a window as 0x00RRGGBB, row by row, captured from the screen (the window
// must be visible and uncovered).
struct Capture {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;  // RGB() values
    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
std::optional<Capture> CaptureScreenRect(const RECT& screenRect);
// The client area of `window` in screen coordinates.
RECT ClientRectOnScreen(HWND window);

// Lets the program's message loop run: waits until the thread of `window` is idle.
void WaitForIdle(HWND window, DWORD timeoutMs = 2000);

}  // namespace quorvane

#endif  // _WIN32
