// The live view's page, its style and its script, built into the program
// from the files in page/ (no network access at run time).
#ifndef HESK_STATUS_SERVE_PAGE_ASSETS_H
#define HESK_STATUS_SERVE_PAGE_ASSETS_H

namespace live {

extern const char kPageHtml[];
extern const char kPageCss[];
extern const char kPageJs[];

}  // namespace live

#endif  // HESK_STATUS_SERVE_PAGE_ASSETS_H
