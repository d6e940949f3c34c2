// Program entry: OLE for the browser control, the main window, the message loop; the
// program ends with exit code 0 once the window has gone.
#include <windows.h>
#include <ole2.h>

#include "app/main_window.h"
#include "app/message_loop.h"
#include "site_values.h"

namespace {

// OleInitialize for the life of the program's window.
class OleScope {
public:
    OleScope() : initialised_(SUCCEEDED(OleInitialize(nullptr))) {}
    ~OleScope() {
        if (initialised_) OleUninitialize();
    }
    OleScope(const OleScope&) = delete;
    OleScope& operator=(const OleScope&) = delete;

private:
    bool initialised_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    OleScope ole;
    {
        quorvane::MainWindow window(quorvane::BuiltInSite());
        if (window.Create(instance, showCommand)) quorvane::RunMessageLoop(window);
    }
    return 0;
}
