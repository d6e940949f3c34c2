#include "app/apply_mailbox.h"

#include "app/mailbox_request.h"
#include "app/main_window.h"
#include "fetch/fetch_page.h"

namespace quorvane {

void ApplyMailbox(MainWindow& window) {
    Text url = ApplicationAddress(window.Site().serviceWebHost);
    const Text name = window.MailboxName();
    const Text body = MailboxRequestBody(name, window.Site().serviceMailDomain);

    FetchOptions options;
    options.method = 1;  // POST
    options.postData = Bytes(body);
    FetchPage(url, options);  // the answer is not read

    // The window may have been closed while the request was waiting; then the view is gone
    // and nothing is refreshed.
    window.RefreshServiceView();
}

}  // namespace quorvane
