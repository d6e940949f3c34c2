#include "app/message_loop.h"

#include <windows.h>

#include <cstddef>

#include "app/main_window.h"
#include "fetch/fetch_page.h"

namespace quorvane {

static_assert(sizeof(WindowMessage) >= sizeof(MSG));
static_assert(offsetof(WindowMessage, hwnd) == offsetof(MSG, hwnd));
static_assert(offsetof(WindowMessage, message) == offsetof(MSG, message));
static_assert(offsetof(WindowMessage, wParam) == offsetof(MSG, wParam));
static_assert(offsetof(WindowMessage, lParam) == offsetof(MSG, lParam));
static_assert(offsetof(WindowMessage, time) == offsetof(MSG, time));
static_assert(offsetof(WindowMessage, x) == offsetof(MSG, pt));

namespace {

MainWindow* g_window = nullptr;

bool PreTranslateForWindow(WindowMessage* message) {
    return g_window && message && g_window->PreTranslate(*reinterpret_cast<MSG*>(message));
}

// Registers the pre-translation for the time of the loop.
class PreTranslation {
public:
    explicit PreTranslation(MainWindow& window) {
        g_window = &window;
        SetMessagePreTranslator(&PreTranslateForWindow);
    }
    ~PreTranslation() {
        SetMessagePreTranslator(nullptr);
        g_window = nullptr;
    }
    PreTranslation(const PreTranslation&) = delete;
    PreTranslation& operator=(const PreTranslation&) = delete;
};

}  // namespace

void RunMessageLoop(MainWindow& window) {
    PreTranslation preTranslation(window);
    MSG message{};
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) break;  // WM_QUIT, or no queue to read
        if (window.PreTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace quorvane
