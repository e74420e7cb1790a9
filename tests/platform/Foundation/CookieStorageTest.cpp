#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSURLConnection.h"
#include "TempDir.h"
#include "TestHTTPServer.h"

namespace {

using std::chrono::hours;
using std::chrono::seconds;
using testsupport::TempDir;
using testsupport::TestHTTPServer;

std::shared_ptr<NSURL> url(const std::string& text) { return NSURL::URLWithString(text); }

std::string fetch(const std::string& address) {
    const auto result =
        NSURLConnection::sendSynchronousRequest(NSURLRequest::requestWithURL(url(address)));
    EXPECT_FALSE(result.error) << address;
    return std::string(result.data.begin(), result.data.end());
}

unsigned modeOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

TEST(CookieStorageTest, LoaderStoresSetCookieAndSendsItWhereItMatches) {
    TempDir home;
    NSSetHomeDirectory(home.path().string());
    TestHTTPServer server;
    server.server().Get("/api/login", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Set-Cookie", "sid=s3cr3t; Path=/api; Max-Age=3600; HttpOnly");
        response.set_header("Set-Cookie", "theme=dark");
        response.set_header("Set-Cookie", "stolen=1; Domain=elsewhere.test");
        response.set_content("ok", "text/plain");
    });
    server.server().Get(R"(/(api|apix|other)/echo)",
                        [](const httplib::Request& request, httplib::Response& response) {
                            response.set_content(request.get_header_value("Cookie"), "text/plain");
                        });

    EXPECT_EQ(fetch(server.url("/api/echo")), "");
    fetch(server.url("/api/login"));
    EXPECT_EQ(fetch(server.url("/api/echo")), "sid=s3cr3t; theme=dark");
    // "theme" took the login's directory as its path; "/apix" is not under "/api".
    EXPECT_EQ(fetch(server.url("/apix/echo")), "");
    EXPECT_EQ(fetch(server.url("/other/echo")), "");

    const auto cookies = NSHTTPCookieStorage::sharedHTTPCookieStorage()->cookies();
    ASSERT_EQ(cookies.size(), 2u);
    EXPECT_TRUE(cookies[0].isHTTPOnly());
    EXPECT_EQ(cookies[0].domain(), "127.0.0.1");
    EXPECT_TRUE(cookies[1].isSessionOnly());

    // Signing out forgets them.
    NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
    EXPECT_EQ(fetch(server.url("/api/echo")), "");
}

TEST(CookieStorageTest, CookiesGoWhereTheirAttributesAllow) {
    TempDir home;
    auto now = std::chrono::system_clock::now();
    const auto storage = NSHTTPCookieStorage::create(home / "cookies.json", [&] { return now; });
    const auto from = url("https://www.shop.test/account/login");
    struct Case {
        const char* setCookie;
        const char* request;
        bool sent;
    };
    const Case cases[] = {
        {"a=1", "https://www.shop.test/account/x", true},
        {"a=1", "https://www.shop.test/", false},
        {"a=1", "https://shop.test/account/x", false},
        {"a=1; Path=/", "https://WWW.shop.test/", true},
        {"a=1; Path=/acc", "https://www.shop.test/account", false},
        {"a=1; Domain=.shop.test; Path=/", "https://img.shop.test/", true},
        {"a=1; Domain=shop.test; Path=/", "https://notshop.test/", false},
        {"a=1; Domain=other.test; Path=/", "https://www.shop.test/", false},
        {"a=1; Domain=test; Path=/", "https://www.shop.test/", false},
        {"a=1; Secure; Path=/", "https://www.shop.test/", true},
        {"a=1; Secure; Path=/", "http://www.shop.test/", false},
        {"a=1; Path=/; Max-Age=0", "https://www.shop.test/", false},
        {"a=1; Path=/; Expires=Thu, 01 Jan 1970 00:00:01 GMT", "https://www.shop.test/", false},
        {"=1; Path=/", "https://www.shop.test/", false},
        {"novalue; Path=/", "https://www.shop.test/", false},
    };
    for (const auto& c : cases) {
        storage->removeAllCookies();
        storage->setCookieFromHeader(c.setCookie, *from);
        EXPECT_EQ(storage->cookieHeaderForURL(*url(c.request)), c.sent ? "a=1" : "")
            << c.setCookie << " to " << c.request;
    }

    storage->removeAllCookies();
    storage->setCookieFromHeader("short=1; Path=/; Max-Age=60", *from);
    storage->setCookieFromHeader("long=2; Path=/account; Expires=Fri, 01 Jan 2100 00:00:00 GMT",
                                 *from);
    EXPECT_EQ(storage->cookieHeaderForURL(*url("https://www.shop.test/account/x")),
              "long=2; short=1");
    now += seconds(61);
    EXPECT_EQ(storage->cookieHeaderForURL(*url("https://www.shop.test/account/x")), "long=2");
    // An expired namesake removes the cookie.
    storage->setCookieFromHeader("long=; Path=/account; Max-Age=-1", *from);
    EXPECT_TRUE(storage->cookies().empty());
}

TEST(CookieStorageTest, LastingCookiesOutliveTheStoreInAPrivateFileUntilSignOut) {
    TempDir home;
    const std::string file = home / "Library/Cookies/Cookies.json";
    const auto from = url("http://127.0.0.1:8080/api/Engineer/Login");
    const mode_t oldMask = ::umask(0);
    {
        const auto storage = NSHTTPCookieStorage::create(file);
        storage->setCookieFromHeader("sid=abc; Path=/api; Max-Age=3600; HttpOnly", *from);
        storage->setCookieFromHeader("visit=1; Path=/", *from);
    }
    ::umask(oldMask);
    EXPECT_EQ(modeOf(file), 0600u);

    const auto again = NSHTTPCookieStorage::create(file);
    ASSERT_EQ(again->cookies().size(), 1u);
    EXPECT_EQ(again->cookies()[0].name(), "sid");
    EXPECT_TRUE(again->cookies()[0].isHTTPOnly());
    EXPECT_EQ(again->cookieHeaderForURL(*url("http://127.0.0.1:9/api/Order/OrderList")), "sid=abc");

    again->removeAllCookies();
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(NSHTTPCookieStorage::create(file)->cookies().empty());
}

}  // namespace
