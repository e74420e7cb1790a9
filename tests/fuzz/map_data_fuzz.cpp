// Splits a map data answer of a fuzzer-chosen data type the way the data provider does, into a
// live least engine's grid store and the provider's traffic cache. The first byte picks the type;
// the rest is the answer, in a buffer exactly its length. Every body handed on lies inside the
// answer and holds its name; every traffic record the cache keeps parses.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "MapDataAnswer.h"
#include "VAvaCoreDataProvider.h"
#include "vmap_core/MapEngineInternal.h"

namespace {

struct Target {
    Target() {
        EngineCreationRecord record{};
        std::strcpy(record.dataDirectory, "/tmp/zaroruda/data/");
        std::strcpy(record.fontName, "Sans Bold");
        engine = mapEngineCreate(&record);
        mapEngineInit(engine);
        provider->setMapEngine(engine);
    }
    MapEngine* engine = nullptr;
    std::shared_ptr<VAvaCoreDataProvider> provider = VAvaCoreDataProvider::create();
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Target target;
    if (size == 0) return 0;
    const MapDataType type = data[0] % 11;
    const std::vector<uint8_t> answer(data + 1, data + size);
    const uint8_t* begin = answer.data();
    const uint8_t* end = begin + answer.size();
    splitMapDataAnswer(answer, [&](MapDataBody body) {
        FUZZ_CHECK(body.data() >= begin && body.data() + body.size() <= end);
        const auto name = mapDataBodyName(body);
        FUZZ_CHECK(name && 5 + name->size() <= body.size());
    });
    target.provider->processRecivedData(answer, type);
    // Each input's grids are stored before the next: the engine's queue stays short.
    mapEngineWaitForStores(target.engine,
                           std::chrono::steady_clock::now() + std::chrono::seconds(10));
    if (type == VAvaCoreDataProvider::kTrafficDataType) {
        splitMapDataAnswer(answer, [&](MapDataBody body) {
            const auto held = target.provider->tmcCache()->dataRetainWithName(
                std::string(*mapDataBodyName(body)), true);
            if (!held) return;
            const auto payload = held->vtmcData();
            FUZZ_CHECK(payload->size() >= 10 + held->gridName().size() + held->eTag().size());
        });
    }
    return 0;
}
