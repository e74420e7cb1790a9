#include <gtest/gtest.h>

#include <string>

#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSHTTPURLResponse.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NSURLUtilities.h"

namespace {

TEST(NSURLTest, SplitsAnAbsoluteURLIntoItsPartsAndMalformedTextGivesNone) {
    const auto url = NSURL::URLWithString(
        "HTTP://user:pw@Example.org:8080/ws/mps/vmap%20x/?mapdataver=5&type=20#top");
    ASSERT_NE(url, nullptr);
    EXPECT_EQ(url->scheme(), "http");
    EXPECT_EQ(url->user(), "user:pw");
    EXPECT_EQ(url->host(), "Example.org");
    EXPECT_EQ(url->port(), 8080);
    EXPECT_EQ(url->percentEncodedPath(), "/ws/mps/vmap%20x/");
    EXPECT_EQ(url->path(), "/ws/mps/vmap x");
    EXPECT_EQ(url->query(), "mapdataver=5&type=20");
    EXPECT_EQ(url->fragment(), "top");
    EXPECT_EQ(url->absoluteString(),
              "HTTP://user:pw@Example.org:8080/ws/mps/vmap%20x/?mapdataver=5&type=20#top");

    const auto v6 = NSURL::URLWithString("http://[::1]:99/");
    ASSERT_NE(v6, nullptr);
    EXPECT_EQ(v6->host(), "::1");
    EXPECT_EQ(v6->port(), 99);

    const auto bare = NSURL::URLWithString("http://h");
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(bare->port(), std::nullopt);
    EXPECT_EQ(bare->path(), "");

    const auto tel = NSURL::URLWithString("tel:010-12345678");
    ASSERT_NE(tel, nullptr);
    EXPECT_EQ(tel->path(), "010-12345678");

    const auto relative = NSURL::URLWithString("a/b?c=d");
    ASSERT_NE(relative, nullptr);
    EXPECT_EQ(relative->path(), "a/b");

    for (const char* text :
         {"", "http://h/a b", "http://h/%zz", "http://h/%4", "http://h:70000/", "http://h:8x/",
          "http://[::1/", "http://[zz]/", "1http://h/", "http://h/\xe4\xb8\xad", "http://h/a#b#c",
          "http://h/<x>", "http://h/{x}", "http://h/a\"b", "http://h/a|b", "tel:1 2"}) {
        EXPECT_EQ(NSURL::URLWithString(text), nullptr) << text;
    }
}

TEST(NSURLTest, FileURLEncodesThePathAndDecodesItBack) {
    const auto url = NSURL::fileURLWithPath("/tmp/a dir/工程 #1?.png");
    ASSERT_NE(url, nullptr);
    EXPECT_TRUE(url->isFileURL());
    EXPECT_EQ(url->absoluteString(), "file:///tmp/a%20dir/%E5%B7%A5%E7%A8%8B%20%231%3F.png");
    EXPECT_EQ(url->path(), "/tmp/a dir/工程 #1?.png");
}

TEST(PercentEncodingTest, EncodesOutsideTheAllowedSetAndDecodingRefusesBrokenEscapes) {
    const std::string text = "name=上海 & co/?#%";
    const auto query = stringByAddingPercentEncodingWithAllowedCharacters(
        text, NSCharacterSet::URLQueryAllowedCharacterSet());
    EXPECT_EQ(query, "name=%E4%B8%8A%E6%B5%B7%20&%20co/?%23%25");
    EXPECT_EQ(stringByRemovingPercentEncoding(query), text);

    // A value in a query: the reserved characters and space are escaped, unreserved ones kept.
    auto valueSet = NSCharacterSet::URLQueryAllowedCharacterSet();
    valueSet.removeCharactersInString("!*'();:@&=+$,/?%#[] ");
    EXPECT_EQ(stringByAddingPercentEncodingWithAllowedCharacters("a b&c=d+e/f~g.h-i_j", valueSet),
              "a%20b%26c%3Dd%2Be%2Ff~g.h-i_j");

    const auto custom = NSCharacterSet::characterSetWithCharactersInString("ab");
    EXPECT_EQ(stringByAddingPercentEncodingWithAllowedCharacters("abc", custom), "ab%63");
    EXPECT_EQ(stringByAddingPercentEncodingWithAllowedCharacters("abc", custom.invertedSet()),
              "%61%62c");
    EXPECT_FALSE(NSCharacterSet::URLPathAllowedCharacterSet().characterIsMember('?'));
    EXPECT_TRUE(NSCharacterSet::URLHostAllowedCharacterSet().characterIsMember('['));
    EXPECT_FALSE(custom.invertedSet().characterIsMember('\xe4'));

    EXPECT_EQ(stringByRemovingPercentEncoding("%E5%B7%A5"), "工");
    EXPECT_EQ(stringByRemovingPercentEncoding("plain+text"), "plain+text");
    EXPECT_EQ(stringByRemovingPercentEncoding("%"), std::nullopt);
    EXPECT_EQ(stringByRemovingPercentEncoding("%4"), std::nullopt);
    EXPECT_EQ(stringByRemovingPercentEncoding("%G1"), std::nullopt);
    EXPECT_EQ(stringByRemovingPercentEncoding("%E5%B7"), std::nullopt);     // truncated sequence
    EXPECT_EQ(stringByRemovingPercentEncoding("%C0%AF"), std::nullopt);     // overlong "/"
    EXPECT_EQ(stringByRemovingPercentEncoding("%ED%A0%80"), std::nullopt);  // surrogate
}

TEST(NSURLRequestTest, HeaderFieldsIgnoreCaseAndMutableCopiesAreIndependent) {
    const auto request = NSMutableURLRequest::requestWithURL(NSURL::URLWithString("http://h/"));

    request->setValue("VAVA", "User-Agent");
    request->setValue("Other", "user-agent");
    request->addValue("a", "Accept");
    request->addValue("b", "ACCEPT");
    EXPECT_EQ(request->allHTTPHeaderFields().size(), 2u);
    EXPECT_EQ(request->valueForHTTPHeaderField("USER-AGENT"), "Other");
    EXPECT_EQ(request->allHTTPHeaderFields().begin()->first, "Accept");
    EXPECT_EQ(request->valueForHTTPHeaderField("accept"), "a, b");
    request->setValue(std::nullopt, "uSer-aGent");
    EXPECT_EQ(request->valueForHTTPHeaderField("User-Agent"), std::nullopt);

    request->setHTTPMethod("POST");
    request->setHTTPBody("x=1");
    const auto copy = request->mutableCopy();
    copy->setHTTPBody("y=2");
    copy->setValue("1", "Range");
    EXPECT_EQ(std::string(request->HTTPBody().begin(), request->HTTPBody().end()), "x=1");
    EXPECT_EQ(std::string(copy->HTTPBody().begin(), copy->HTTPBody().end()), "y=2");
    EXPECT_EQ(copy->HTTPMethod(), "POST");
    EXPECT_EQ(request->valueForHTTPHeaderField("Range"), std::nullopt);
}

TEST(NSHTTPURLResponseTest, ReadsTypeCharsetAndLengthFromTheFields) {
    const auto url = NSURL::URLWithString("http://h/x");
    const auto plain = NSHTTPURLResponse::create(
        url, 206, "HTTP/1.1",
        {{"content-type", "Text/HTML; Charset=\"UTF-8\""}, {"Content-Length", " 42 "}});
    EXPECT_EQ(plain->MIMEType(), "text/html");
    EXPECT_EQ(plain->textEncodingName(), "utf-8");
    EXPECT_EQ(plain->expectedContentLength(), 42);

    // An encoded body's unknown length is checked through the URL connection's gzip test.

    for (const char* bad : {"-3", "12abc", ""}) {
        const auto r = NSHTTPURLResponse::create(url, 200, "HTTP/1.1", {{"Content-Length", bad}});
        EXPECT_EQ(r->expectedContentLength(), NSURLResponse::kUnknownLength) << bad;
        EXPECT_EQ(r->MIMEType(), "");
    }
}

}  // namespace
