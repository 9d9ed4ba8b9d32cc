# Builds the live-view page into the binary: inlines page/live-view.css and page/live-view.js into
# page/index.html (the page then fetches nothing but its event stream) and writes a C++ source
# defining LiveViewPage() over the bytes. Run with cmake -DPAGE_DIR=... -DOUTPUT=... -P.
file(READ ${PAGE_DIR}/index.html html)
file(READ ${PAGE_DIR}/live-view.css css)
file(READ ${PAGE_DIR}/live-view.js js)
set(css_link "<link rel=\"stylesheet\" href=\"live-view.css\">")
set(js_link "<script src=\"live-view.js\"></script>")
string(FIND "${html}" "${css_link}" css_at)
string(FIND "${html}" "${js_link}" js_at)
if(css_at EQUAL -1 OR js_at EQUAL -1)
    message(FATAL_ERROR "index.html must contain ${css_link} and ${js_link}")
endif()
string(REPLACE "${css_link}" "<style>\n${css}</style>" html "${html}")
string(REPLACE "${js_link}" "<script>\n${js}</script>" html "${html}")
file(WRITE ${OUTPUT}.html "${html}")
file(READ ${OUTPUT}.html hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp "// Generated from apps/tolvik/http/page by EmbedPage.cmake; do not edit.
#include <string_view>

namespace tolvik::tool::http {
namespace {
const char kPage[${size}] = {
${bytes}
};
}  // namespace
std::string_view LiveViewPage() { return {kPage, sizeof kPage}; }
}  // namespace tolvik::tool::http
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
