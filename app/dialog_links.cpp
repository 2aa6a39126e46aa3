#include "app/dialog_links.h"

#include <utility>

#include "platform/shell/open_link.h"

namespace plashwerk {
namespace {

LinkOpener g_opener;  // main thread only, like the dialogs that use it

}  // namespace

std::string linkAddress(const ScoreSite& site, int redirect_id) {
    return scoreRedirectUrl(site, redirect_id);
}

void openRedirectPage(const ScoreSite& site, int redirect_id) {
    openLinkAddress(linkAddress(site, redirect_id));
}

void openLinkAddress(const std::string& url) {
    if (g_opener)
        g_opener(url);
    else
        openLink(url);
}

void setLinkOpener(LinkOpener opener) {
    g_opener = std::move(opener);
}

}  // namespace plashwerk
