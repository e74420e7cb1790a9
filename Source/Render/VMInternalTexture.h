#pragma once

#include <cstdint>

#include "vmap_core/MapEngine.h"

// Which look the engine's textures and style are loaded for.
struct InternalTextureArgument {
    MapEngine* engine = nullptr;
    int64_t mapType = 0;    // texture set: 0 day, 1 night
    int64_t styleType = 0;  // style variant 0-3, 1 = satellite
    int64_t nightMode = 0;  // 1 turns the engine's night parameter on
    bool isBus = false;     // the bus icon set instead of the normal icons
};

// Loads the shipped style and textures of a map look into an engine, with the parameters that
// go with the look. A group of textures is loaded whole or not at all.
class VMInternalTexture {
  public:
    static void initInternalTextureWithArgument(const InternalTextureArgument& argument);
    // Pauses the engine's tasks while everything is replaced; nothing for a null engine.
    static void updateInternalTextureWithArgument(const InternalTextureArgument& argument);

    static void SetStyleWithMapEngine(MapEngine* engine, int64_t mapType, int64_t styleType);
    static void SetTextureWithMapEngine(MapEngine* engine, int64_t mapType, bool isBus);
    static void SetIconAndBktileWitMapEngine(MapEngine* engine, int64_t mapType, bool isBus);
    static void SetTrafficLineWithMapEngine(MapEngine* engine, int64_t mapType);
    static void SetGuideBoardWithMapEngine(MapEngine* engine, int64_t mapType);
    static void SetSkyTextureWithEngine(MapEngine* engine, int64_t mapType);

    static void updateMapEngineParameterForNightWithArgument(const InternalTextureArgument& a);
    static void updateMapEngineParameterForSatelliteWithArgument(const InternalTextureArgument& a);
    static void updateMapEngineParameterForVgAsynTaskManagerStart(bool start, MapEngine* engine);
    static void updateMapEngineParameterMapModestateWithArgument(const InternalTextureArgument& a);
};
