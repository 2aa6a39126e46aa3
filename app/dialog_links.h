#pragma once
// The web pages the dialogs link to. Every link goes through the score server's redirect
// page with a numeric id (results/score_site.h names them), so the server decides where each
// one lands. The server's address is handed in: the dialogs take it from the score_server
// setting, or the environment, through currentScoreSite.

#include <functional>
#include <string>

#include "results/score_site.h"

namespace plashwerk {

/// "http://HOST[:PORT]/redirect?id=N" on the score site.
std::string linkAddress(const ScoreSite& site, int redirect_id);

/// What opens an address; empty: the desktop's opener (xdg-open).
using LinkOpener = std::function<void(const std::string& url)>;

/// Opens an address in the browser, through `opener` when one is given.
void openLinkAddress(const std::string& url, const LinkOpener& opener = {});

/// Opens the page of a redirect id in the browser, as openLinkAddress.
void openRedirectPage(const ScoreSite& site, int redirect_id, const LinkOpener& opener = {});

}  // namespace plashwerk
