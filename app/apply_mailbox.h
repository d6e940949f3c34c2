// ApplyMailbox: the apply button's click handler. Sends the mailbox name to the service's
// application address as a form POST through FetchPage, drops the answer and refreshes the
// service view, which then shows the page for the mailbox just applied for.
#pragma once

namespace quorvane {

class MainWindow;

void ApplyMailbox(MainWindow& window);

}  // namespace quorvane
