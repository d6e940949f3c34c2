// The four host values of the program. They are fixed when the program is built
// (site_values.h, generated from the build's cache variables); nothing is read at run time.
#pragma once

#include "text/text.h"

namespace quorvane {

struct SiteConfig {
    Text serviceWebHost;     // web host of the temporary-mail service, e.g. "127.0.0.1:8025"
    Text serviceMailDomain;  // mail domain of its addresses, shown after the "@"
    Text captionSiteDomain;  // the maker's host shown in the caption
    Text officialSiteHost;   // bare host loaded by the hidden view; empty: nothing is loaded
};

}  // namespace quorvane
