// The texts and small rules of the main window that need no window: the addresses of the
// service, the request body of a mailbox application, the caption, the first place of the
// window and the filter on typed characters of the mailbox name.
#pragma once

#include "text/text.h"

namespace quorvane {

// "http://" + host + "/": the page shown in the service view.
Text ServiceHomePage(const Text& serviceWebHost);
// "http://" + host + "/applymail": where a mailbox is applied for.
Text ApplicationAddress(const Text& serviceWebHost);

// The start address of the hidden view for the maker's second host: "" stays "" (the view
// loads nothing); a value without "http://" or "https://" gets "http://" in front, as the
// browser would complete a bare host name itself (done here so that "host:port" is not
// taken for a scheme).
Text OfficialSiteAddress(const Text& officialSiteHost);

// Form encoding of one field value: every byte other than A-Z, a-z, 0-9, "-", ".", "_" and
// "~" becomes "%" and two upper-case hex digits, so a name can neither add nor split fields.
Text FormEncode(const Text& value);
// "mail=" + the form-encoded name + "%40" + mail domain.
Text MailboxRequestBody(const Text& mailboxName, const Text& serviceMailDomain);

// "Quorvane - " + domain + 17 blanks.
Text MainWindowCaption(const Text& captionSiteDomain);
// "@" + mail domain: the text of the label after the edit box.
Text MailDomainLabel(const Text& serviceMailDomain);

struct WindowOrigin {
    int x;
    int y;
};
// The place that centres a window of the given outer size on a screen of the given size
// (integer division, as the screen metrics give it).
WindowOrigin CentredOrigin(int screenWidth, int screenHeight, int windowWidth, int windowHeight);

// True when a typed character code reaches the mailbox edit box: control codes (below 32,
// e.g. Backspace and the Ctrl+C/V/X codes) always; others only "-" and "0" to "9".
bool IsTypedCharacterAllowed(unsigned int code);

// The browser zoom level (font size) held within 0..4.
int ClampFontSize(int fontSize);

}  // namespace quorvane
