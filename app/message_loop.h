// The program's message loop and the pre-translation that it shares with the message
// dispatching inside FetchPage.
#pragma once

namespace quorvane {

class MainWindow;

// Runs until WM_QUIT. Every message first goes to the window's PreTranslate; the same step
// is registered with FetchPage for the messages it dispatches while a request waits.
void RunMessageLoop(MainWindow& window);

}  // namespace quorvane
