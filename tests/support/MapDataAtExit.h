#pragma once

#include <gtest/gtest.h>

#include "VAvaCoreDataProvider.h"
#include "VMDataDownloader.h"

// A test program that draws maps ends with the shared data provider's transfers over: its
// workers would otherwise still be starting requests while the program's statics are destroyed.
class MapDataStopsAtExit : public ::testing::Environment {
  public:
    void TearDown() override {
        VAvaCoreDataProvider::sharedInstance()->imageDownloader()->cancelAllDownloadAndWait();
    }
};

inline ::testing::Environment* const kMapDataStopsAtExit =
    ::testing::AddGlobalTestEnvironment(new MapDataStopsAtExit);
