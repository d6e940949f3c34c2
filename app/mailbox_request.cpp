#include "app/mailbox_request.h"

namespace quorvane {

Text ServiceHomePage(const Text& serviceWebHost) { return "http://" + serviceWebHost + "/"; }

Text ApplicationAddress(const Text& serviceWebHost) {
    return "http://" + serviceWebHost + "/applymail";
}

Text OfficialSiteAddress(const Text& officialSiteHost) {
    if (officialSiteHost.empty() || StartsWithNoCase(officialSiteHost, "http://") ||
        StartsWithNoCase(officialSiteHost, "https://")) {
        return officialSiteHost;
    }
    return "http://" + officialSiteHost;
}

namespace {
bool IsUnreserved(unsigned char byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
           byte == '-' || byte == '.' || byte == '_' || byte == '~';
}
}  // namespace

Text FormEncode(const Text& value) {
    static const char kHex[] = "0123456789ABCDEF";
    Text encoded;
    encoded.reserve(value.size());
    for (char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsUnreserved(byte)) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        }
    }
    return encoded;
}

Text MailboxRequestBody(const Text& mailboxName, const Text& serviceMailDomain) {
    return "mail=" + FormEncode(mailboxName) + "%40" + serviceMailDomain;
}

Text MainWindowCaption(const Text& captionSiteDomain) {
    return "Quorvane - " + captionSiteDomain + Text(17, ' ');
}

Text MailDomainLabel(const Text& serviceMailDomain) { return "@" + serviceMailDomain; }

WindowOrigin CentredOrigin(int screenWidth, int screenHeight, int windowWidth, int windowHeight) {
    return {(screenWidth - windowWidth) / 2, (screenHeight - windowHeight) / 2};
}

bool IsTypedCharacterAllowed(unsigned int code) {
    return code < 32 || code == '-' || (code >= '0' && code <= '9');
}

int ClampFontSize(int fontSize) { return fontSize < 0 ? 0 : (fontSize > 4 ? 4 : fontSize); }

}  // namespace quorvane
