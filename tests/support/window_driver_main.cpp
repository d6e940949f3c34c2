// window_driver.exe: drives the program's main window from a script.
//
//   window_driver.exe [--out FILE] ACTION...
//
// Actions, run in order; the first that fails ends the program with exit code 1:
//   wait[:MS]    wait (default 20000 ms) for the main window to appear
//   info         print the caption, the window and client rectangles
//   focus:ID     give the focus to the control with identifier ID
//   type:TEXT    type TEXT into the edit box, one WM_CHAR per character
//   paste:TEXT   paste TEXT into the edit box through the clipboard
//   press        press the button once (posted BM_CLICK)
//   key:esc      press Esc (key:shift+esc with Shift held) through SendInput
//   sleep:MS     wait MS milliseconds
//   close        close the main window (WM_CLOSE)
//   gone[:MS]    wait (default 10000 ms) until no main window is left
// Lines go to stdout and, with --out, are also appended to FILE (useful where the
// program's output is not passed on, as inside a Wine virtual desktop). The last line is
// "done: ok" or "done: failed".
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

#include "app/control_ids.h"
#include "tests/support/window_driver.h"

namespace {

FILE* out = nullptr;

void Say(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    fputs(line, stdout);
    fputc('\n', stdout);
    fflush(stdout);
    if (out) {
        fputs(line, out);
        fputc('\n', out);
        fflush(out);
    }
}

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
    result.resize(result.size() - 1);
    return result;
}

DWORD Number(const std::wstring& text, DWORD fallback) {
    return text.empty() ? fallback : static_cast<DWORD>(wcstoul(text.c_str(), nullptr, 10));
}

HWND MainWindow() { return quorvane::WaitForWindow(quorvane::kMainWindowClass, 0, 0); }

bool Run(const std::wstring& action) {
    const size_t colon = action.find(L':');
    const std::wstring verb = action.substr(0, colon);
    const std::wstring argument = colon == std::wstring::npos ? L"" : action.substr(colon + 1);
    if (verb == L"sleep") {
        Sleep(Number(argument, 1000));
        return true;
    }
    if (verb == L"wait") {
        HWND window = quorvane::WaitForWindow(quorvane::kMainWindowClass, 0, Number(argument, 20000));
        Say(window ? "main window found" : "no main window appeared");
        return window != nullptr;
    }
    if (verb == L"gone") {
        const DWORD start = GetTickCount();
        while (MainWindow()) {
            if (GetTickCount() - start >= Number(argument, 10000)) {
                Say("the main window is still there");
                return false;
            }
            Sleep(50);
        }
        Say("the main window is gone");
        return true;
    }
    HWND window = MainWindow();
    if (!window) {
        Say("%s: no main window", Utf8(action).c_str());
        return false;
    }
    if (verb == L"info") {
        const RECT w = quorvane::WindowRectOf(window), c = quorvane::ClientRectOf(window);
        Say("caption: \"%s\"", Utf8(quorvane::WindowTextWide(window)).c_str());
        Say("window: %ld,%ld %ldx%ld; client %ldx%ld", w.left, w.top, w.right - w.left,
            w.bottom - w.top, c.right, c.bottom);
        return true;
    }
    if (verb == L"press") {
        HWND button = quorvane::FindControl(window, quorvane::kButton1);
        if (!button) return false;
        quorvane::PostButtonClick(button);
        Say("pressed \"%s\"", Utf8(quorvane::WindowTextWide(button)).c_str());
        return true;
    }
    if (verb == L"close") {
        quorvane::AskToClose(window);
        Say("asked the main window to close");
        return true;
    }
    if (verb == L"focus") {
        HWND control = quorvane::FindControl(window, static_cast<int>(Number(argument, 0)));
        return control && quorvane::FocusControl(control);
    }
    if (verb == L"type" || verb == L"paste") {
        HWND edit = quorvane::FindControl(window, quorvane::kEditBox1);
        if (!edit) return false;
        if (verb == L"type") {
            quorvane::TypeCharacters(edit, argument);
        } else if (!quorvane::PasteText(edit, argument)) {
            return false;
        }
        Say("edit box: \"%s\"", Utf8(quorvane::WindowTextWide(edit)).c_str());
        return true;
    }
    if (verb == L"key") {
        quorvane::BringToForeground(window);
        if (argument == L"esc") return quorvane::SendKey(VK_ESCAPE);
        if (argument == L"shift+esc") return quorvane::SendKey(VK_ESCAPE, true);
    }
    Say("unknown action: %s", Utf8(action).c_str());
    return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int first = 1;
    if (argc > 2 && std::wstring(argv[1]) == L"--out") {
        out = _wfopen(argv[2], L"a");
        first = 3;
    }
    int status = 0;
    for (int i = first; i < argc && status == 0; ++i) {
        if (!Run(argv[i])) status = 1;
    }
    Say("done: %s", status == 0 ? "ok" : "failed");
    if (out) fclose(out);
    return status;
}
