#pragma once
// The web pages the dialogs link to. Every link goes through the score server's redirect
// page with a numeric id, so the server decides where each one lands.

#include <functional>
#include <string>

namespace plashwerk {

/// Ids of the redirect page.
enum RedirectId : int {
    kRedirectHome = 11,            ///< the program's home page
    kRedirectLatestVersion = 302,  ///< the latest version, with the news
    kRedirectCompare = 305,        ///< comparing scores
    kRedirectOnlineScores = 306,   ///< the online score list
    kRedirectNews = 307,           ///< the news page
};

/// "http://HOST[:PORT]/redirect?id=N" for the score server's address.
std::string linkAddress(int redirect_id);

/// Opens the page of a redirect id in the browser. Tests replace the opener.
void openRedirectPage(int redirect_id);

/// What opens an address; the desktop's opener by default. An empty function restores it.
using LinkOpener = std::function<void(const std::string& url)>;
void setLinkOpener(LinkOpener opener);

}  // namespace plashwerk
