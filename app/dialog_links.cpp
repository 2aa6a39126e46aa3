#include "app/dialog_links.h"

#include <cstdio>
#include <utility>

#include "platform/shell/open_link.h"

namespace plashwerk {
namespace {

LinkOpener g_opener;  // main thread only, like the dialogs that use it

}  // namespace

std::string linkAddress(int redirect_id) {
    // The score server runs on this machine until its address becomes a setting.
    const char* host = "localhost";
    char url[320];
    std::snprintf(url, sizeof url, "http://%s/redirect?id=%d", host, redirect_id);
    return url;
}

void openRedirectPage(int redirect_id) {
    const std::string url = linkAddress(redirect_id);
    if (g_opener)
        g_opener(url);
    else
        openLink(url);
}

void setLinkOpener(LinkOpener opener) {
    g_opener = std::move(opener);
}

}  // namespace plashwerk
