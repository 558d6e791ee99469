#include "transport/HtmlToText.h"

#include <gtest/gtest.h>

namespace qf::transport {
namespace {

TEST(HtmlText, TagsScriptsAndEntities) {
    EXPECT_EQ(htmlToText("<p>a &lt;b&gt; &#65;&#x42;</p><p>c</p>"), "a <b> AB\nc");
    EXPECT_EQ(htmlToText("x<!-- <p>hidden</p> -->y<style>p{}</style>z"), "xyz");
    EXPECT_EQ(htmlToText("one\n  two<BR>three &unknown; &#0;"),
              "one two\nthree &unknown; \xEF\xBF\xBD");
    EXPECT_EQ(htmlToText("cut <a href"), "cut");
}

}  // namespace
}  // namespace qf::transport
