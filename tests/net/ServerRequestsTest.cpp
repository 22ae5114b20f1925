#include <gtest/gtest.h>

#include "NetTestSupport.h"
#include "net/ServerRequests.h"
#include "net/ServerScheme.h"

namespace talvo {
namespace {

using test::u8;

// The addresses start with the scheme the build chose.
std::string withScheme(const char* rest) { return u8(std::u16string(kServerScheme)) + rest; }

TEST(ServerRequests, CheckCodeAddress)
{
    EXPECT_EQ(u8(checkCodeAddress(u"srv.example:8080", u"07055475")),
              withScheme("srv.example:8080/soft!code.action?rnm=07055475"));
    EXPECT_EQ(u8(checkCodeAddress(u"", u"05")), withScheme("/soft!code.action?rnm=05"));
}

TEST(ServerRequests, VisitUrlAddressKeepsTheMemberCodeAsIs)
{
    struct Row {
        std::u16string member;
        std::string address;
    };
    const Row rows[] = {
        {u"qv1", withScheme("h/softcheck!geturl.action?member=qv1&rnm=0533424")},
        {u"test", withScheme("h/softcheck!geturl.action?member=test&rnm=0533424")},
        {u"", withScheme("h/softcheck!geturl.action?member=&rnm=0533424")},
        // Not encoded: whatever the caller gives goes out as it is.
        {u"a b&c", withScheme("h/softcheck!geturl.action?member=a b&c&rnm=0533424")},
        {u"王", withScheme("h/softcheck!geturl.action?member=王&rnm=0533424")},
    };
    for (const Row& row : rows)
        EXPECT_EQ(u8(visitUrlAddress(u"h", row.member, u"0533424")), row.address);
}

TEST(ServerRequests, ContactAddress)
{
    EXPECT_EQ(u8(contactAddress(u"127.0.0.1:9000", u"qv1", u"05795186")),
              withScheme("127.0.0.1:9000/softcheck!contact.action?memberid=qv1&rnm=05795186"));
    // An empty member still makes a request, with "&rnm=" right after "?memberid=".
    EXPECT_EQ(u8(contactAddress(u"h", u"", u"0")), withScheme("h/softcheck!contact.action?memberid=&rnm=0"));
    // No host: the helper refuses it later; the builder does not second-guess.
    EXPECT_EQ(u8(contactAddress(u"", u"test", u"01")), withScheme("/softcheck!contact.action?memberid=test&rnm=01"));
}

} // namespace
} // namespace talvo
