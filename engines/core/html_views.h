// An HTML page's views as the members of an archive, for the walk: first
// "nocomment.html", then (for pages up to kMaxHtmlNoTags) "notags.html",
// both MemberView::HtmlText, each normalised afresh from the page as it is
// read (never held whole); then, when the page has scripts, "javascript",
// their normalised view (MemberView::Script); then the data of each "data:"
// URL as a file of its own ("data-1", ...), base64 decoded where its type
// says so.
#pragma once
#include <memory>

#include "archive_reader.h"
#include "html_normalise.h"

namespace qdx {

// Null for pages larger than kMaxHtmlNormalised: those are not normalised.
std::unique_ptr<ArchiveReader> openHtml(RandomAccess& page);

}  // namespace qdx
