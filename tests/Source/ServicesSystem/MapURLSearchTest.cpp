#include <gtest/gtest.h>

#include <fstream>

#include "Foundation/NSBundle.h"
#include "TempDir.h"
#include "UIKit/UIApplication.h"
#include "VMMapURLSearch.h"

namespace {

class MapURLSearch : public ::testing::Test {
  protected:
    void SetUp() override { application_->reset(); }
    void TearDown() override { application_->reset(); }
    std::shared_ptr<UIApplication> application_ = UIApplication::sharedApplication();
};

std::shared_ptr<VMRouteConfig> route(long type) {
    auto config = std::make_shared<VMRouteConfig>();
    config->setAppName("A B&C");
    config->setAppScheme("brisfold");
    config->setStartCoordinate({39.9, 116.3});
    config->setDestinationCoordinate({31.2, 121.5});
    config->setDrivingStrategy(4);
    config->setTransitStrategy(7);
    config->setRouteType(type);
    return config;
}

TEST_F(MapURLSearch, WithoutTheMapApplicationOnlyTheStoreOpensWithItExactlyTheseURLs) {
    EXPECT_FALSE(VMMapURLSearch::canOpenVAVAScheme());
    EXPECT_FALSE(VMMapURLSearch::openVAvaNavigation(VMNaviConfig()));
    EXPECT_FALSE(VMMapURLSearch::openVAvaRouteSearch(*route(0)));
    EXPECT_FALSE(VMMapURLSearch::openVAvaPOISearch(VMPOIConfig()));
    EXPECT_TRUE(application_->openedURLs().empty());
    VMMapURLSearch::getLatestVAvaApp();
    EXPECT_EQ(application_->openedURLs(),
              std::vector<std::string>{VMMapURLSearch::kMapApplicationStoreURL});

    // With it, it gets exactly these URLs.
    application_->reset();
    application_->registerURLScheme(VMMapURLSearch::kMapApplicationScheme);
    VMNaviConfig navi;
    navi.setAppName("");
    navi.setAppScheme("brisfold");
    navi.setDestination({39.915, 116.404});
    navi.setStrategy(2);
    VMPOIConfig poi;
    poi.setAppName("Brisfold");
    poi.setAppScheme("brisfold");
    poi.setKeywords("A B&C/é");
    poi.setLeftTopCoordinate({40, 116});
    poi.setRightBottomCoordinate({39.5, 116.5});
    EXPECT_TRUE(VMMapURLSearch::openVAvaNavigation(navi));
    for (long type : {0, 1, 2}) EXPECT_TRUE(VMMapURLSearch::openVAvaRouteSearch(*route(type)));
    EXPECT_TRUE(VMMapURLSearch::openVAvaPOISearch(poi));
    const std::string path =
        "vavamap://path?sourceApplication=A%20B%26C&backScheme=brisfold&sid=&slat=39.900000&"
        "slon=116.300000&sname=&did=&dlat=31.200000&dlon=121.500000&dname=&";
    EXPECT_EQ(application_->openedURLs(),
              (std::vector<std::string>{
                  "vavamap://navi?sourceApplication=&backScheme=brisfold&poiname=&poiid=&"
                  "lat=39.915000&lon=116.404000&dev=0&style=2",
                  path + "m=4&t=0&dev=0",
                  path + "m=7&t=1&dev=0",
                  path + "m=0&t=2&dev=0",
                  "vavamap://poi?sourceApplication=Brisfold&backScheme=brisfold&"
                  "name=A%20B%26C%2F%C3%A9&lat1=40.000000&lon1=116.000000&lat2=39.500000&"
                  "lon2=116.500000&dev=0",
              }));
}

TEST(MapURLSearchBundle, TheApplicationsNameAndSchemeComeFromItsInfo) {
    const std::string named =
        "<key>CFBundleIdentifier</key><string>com.example.a</string>"
        "<key>CFBundleName</key><string>Named</string><key>CFBundleURLTypes</key><array>"
        "<dict><key>CFBundleURLName</key><string>other</string>"
        "<key>CFBundleURLSchemes</key><array><string>wrong</string></array></dict>";
    const struct {
        std::string info;
        const char* name;
        std::optional<std::string> scheme;
    } cases[] = {
        {"<key>CFBundleDisplayName</key><string>Shown</string>" + named +
             "<dict><key>CFBundleURLName</key><string>com.example.a</string>"
             "<key>CFBundleURLSchemes</key><array><string>first</string><string>second</string>"
             "</array></dict></array>",
         "Shown", "first"},
        {named + "</array>", "Named", std::nullopt},
    };
    for (const auto& c : cases) {
        testsupport::TempDir bundle;
        std::ofstream(bundle / "Info.plist")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>" << c.info
            << "</dict></plist>";
        NSBundle::setMainBundlePath(bundle.path().string());
        EXPECT_EQ(VMMapURLSearch::applicationName(), c.name);
        EXPECT_EQ(VMMapURLSearch::applicationScheme(), c.scheme);
    }
    NSBundle::setMainBundlePath(BRISFOLD_RESOURCES_DIR);
}

}  // namespace
