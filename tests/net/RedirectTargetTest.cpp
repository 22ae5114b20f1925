#include <gtest/gtest.h>

#include "net/RedirectTarget.h"

namespace talvo {
namespace {

TEST(RedirectTarget, ResolvesEveryFormOfLocation)
{
    struct Row {
        const char* base;
        const char* location;
        const char* target;
    };
    const Row rows[] = {
        {"http://h:81/a/b?q=1", "http://other/x", "http://other/x"},
        {"http://h:81/a/b?q=1", "HTTPS://other/x", "HTTPS://other/x"},
        {"https://h/a/b", "//cdn.example/y?z", "https://cdn.example/y?z"},
        {"http://h:81/a/b?q=1", "/root", "http://h:81/root"},
        {"http://h:81/a/b?q=1", "c", "http://h:81/a/c"},
        {"http://h:81/a/b?q=1", "c/d?e=f", "http://h:81/a/c/d?e=f"},
        {"http://h:81/a/b?q=1", "../c", "http://h:81/c"},
        {"http://h:81/a/b?q=1", "../../../c", "http://h:81/c"},
        {"http://h:81/a/b/c", "./", "http://h:81/a/b/"},
        {"http://h:81/a/b/c", "..", "http://h:81/a/"},
        {"http://h:81/a/b?q=1", "?r=2", "http://h:81/a/b?r=2"},
        {"http://h:81", "x", "http://h:81/x"},
        {"http://h:81?q", "x", "http://h:81/x"},
        {"http://h/a#frag", "b#part", "http://h/b"},
        {"http://h/a", " /页 面 ", "http://h/%E9%A1%B5%20%E9%9D%A2"},
        {"http://h/a?q", "", "http://h/a?q"},
    };
    for (const Row& row : rows) {
        const auto target = net::redirectTarget(row.base, row.location);
        ASSERT_TRUE(target.has_value()) << row.base << " + " << row.location;
        EXPECT_EQ(*target, row.target) << row.base << " + " << row.location;
    }
}

TEST(RedirectTarget, NeverLeadsOffTheWeb)
{
    for (const char* location :
         {"file:///etc/passwd", "ftp://h/x", "javascript:alert(1)", "mailto:a@b", "data:text/plain,x", "FILE:/x"})
        EXPECT_FALSE(net::redirectTarget("http://h/a", location).has_value()) << location;
    EXPECT_FALSE(net::redirectTarget("ftp://h/a", "/b").has_value());
    EXPECT_FALSE(net::redirectTarget("not an address", "/b").has_value());
}

} // namespace
} // namespace talvo
