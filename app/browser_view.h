// BrowserView: a child window hosting the WebBrowser control in place, driven through
// IWebBrowser2. The control fills the window; keys for a focused view are offered to the
// control first (TranslateAccelerator).
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <oleidl.h>

#include <memory>
#include <string>

#include "app/browser_site.h"
#include "app/com_ptr.h"

namespace quorvane {

struct BrowserSettings {
    bool offline = false;  // pages come from the network
    bool silent = true;    // the control shows no dialog boxes of its own
    int fontSize = 2;      // zoom level 0..4, 2 being the middle one
};

class BrowserView {
public:
    // Creates the child window at `place` (client coordinates of `parent`) with the given
    // control identifier, and the WebBrowser control inside it. Applies the settings and,
    // when `startAddress` is not empty, starts loading it without waiting. Returns null
    // only when the child window cannot be made; a control that cannot be created leaves
    // an empty window.
    static std::unique_ptr<BrowserView> Create(HWND parent, int id, const RECT& place, bool tabStop,
                                               const BrowserSettings& settings,
                                               const std::wstring& startAddress);
    ~BrowserView();
    BrowserView(const BrowserView&) = delete;
    BrowserView& operator=(const BrowserView&) = delete;

    HWND Window() const { return window_; }
    // True when the keyboard focus is on the view or inside the control.
    bool HasFocus() const;
    // Offers a keyboard or mouse message to the active control; true when it took it.
    bool TranslateAccelerator(MSG& message);

    // Navigate(url, flags 0, no target frame, post data or headers).
    bool Navigate(const std::wstring& url);
    // Reloads the page shown. When the control cannot refresh (it holds no document), it
    // navigates to its current location instead, or to `fallbackUrl` when it has none.
    void Refresh(const std::wstring& fallbackUrl);

    // Deactivates and releases the control; the window stays until its parent goes.
    void Close();

private:
    BrowserView() = default;
    bool CreateWindowAndControl(HWND parent, int id, const RECT& place, bool tabStop);
    void Apply(const BrowserSettings& settings);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    ComPtr<BrowserSite> site_;
    ComPtr<IOleObject> object_;
    ComPtr<IWebBrowser2> browser_;
};

}  // namespace quorvane
