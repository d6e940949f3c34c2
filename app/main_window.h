// MainWindow: the program's one top-level window. A one-line form (prompt, mailbox name,
// "@" + mail domain, the apply button) above the service's page in an embedded browser
// view; a group box with an empty hyperlink box at the top right; and a hidden browser
// view outside the client area that loads the maker's site once.
#pragma once

#include <windows.h>

#include <memory>

#include "app/browser_view.h"
#include "app/control_ids.h"
#include "app/site_config.h"
#include "text/text.h"

namespace quorvane {

class MainWindow {
public:
    explicit MainWindow(SiteConfig site);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window, centred on the primary screen, with all its controls; both
    // browser views start loading. Shows it with the focus in the edit box.
    bool Create(HINSTANCE instance, int showCommand);

    HWND Window() const { return window_; }
    const SiteConfig& Site() const { return site_; }

    // The text of the mailbox edit box as GBK bytes; "" once the window has gone.
    Text MailboxName() const;
    // Refreshes the service view. False (and nothing touched) once the view has gone.
    bool RefreshServiceView();

    // Window-level keys, run before a message is translated and dispatched: keys for a
    // focused browser view go to the control first; Esc closes the window; Tab moves the
    // focus edit box -> button -> service view. True when the message was used up.
    bool PreTranslate(MSG& message);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool CreateControls();
    void OnCreated() {}  // the window's creation handler: nothing to do
    void OnDestroy();
    bool IsOwnWindow(HWND window) const;
    void MoveFocus(bool backwards);

    SiteConfig site_;
    HWND window_ = nullptr;
    HWND edit_ = nullptr;
    HWND button_ = nullptr;
    HWND lastFocus_ = nullptr;
    std::unique_ptr<BrowserView> officialView_;
    std::unique_ptr<BrowserView> serviceView_;
};

}  // namespace quorvane
