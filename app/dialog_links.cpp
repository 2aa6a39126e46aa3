#include "app/dialog_links.h"

#include "platform/shell/open_link.h"

namespace plashwerk {

std::string linkAddress(const ScoreSite& site, int redirect_id) {
    return scoreRedirectUrl(site, redirect_id);
}

void openRedirectPage(const ScoreSite& site, int redirect_id, const LinkOpener& opener) {
    openLinkAddress(linkAddress(site, redirect_id), opener);
}

void openLinkAddress(const std::string& url, const LinkOpener& opener) {
    if (opener)
        opener(url);
    else
        openLink(url);
}

}  // namespace plashwerk
