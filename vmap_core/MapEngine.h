#pragma once

// The map engine's flat interface: plain records and free functions, callable from C.

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// The data type of a grid request and of grid data.
typedef int MapDataType;

// A grid's quadkey: one digit 0..3 per level (x bit + 2 * y bit, coarsest level first), at most
// 20 digits. Requests pack names in NUL-terminated slots of this size.
enum { kGridNameMaxLength = 20, kGridNameSlotSize = 21 };
typedef char GridName[kGridNameSlotSize];

// At most this many names go to one mapDataRequired call.
enum { kMaxGridNamesPerRequest = 169 };

// Largest side of a glyph bitmap the engine takes: glyphs are 24 points square, and this is 24
// points at scale 4, above any screen's.
enum { kGlyphBitmapMaxSide = 96 };

typedef struct EngineCreationRecord {
    char dataDirectory[256];  // NUL-terminated UTF-8, ending in "/"
    char fontName[64];        // NUL-terminated
} EngineCreationRecord;

typedef struct PoiHitRecord {
    int32_t x;
    int32_t y;
    uint16_t name[255];  // UTF-16 code units
    uint8_t nameLength;  // in code units
} PoiHitRecord;

// The view and camera record. Map coordinates are zoom-20 pixels of spherical Mercator, 2^28 per
// side, y growing southwards. GL coordinates are (map - origin) / mapUnitsPerGL per axis; the
// origin and that scale change only together with the reference grid (the grid of level
// floor(zoom) holding the centre), so geometry kept in GL coordinates stays valid until
// referenceChanged. One engine pixel covers 2^(20 - zoom) map units at the centre. The camera
// turns clockwise from north by the rotation and tilts the far side of the ground away by the
// pitch about the viewport's horizontal centre line; the centre pixel always shows the centre.
// Copied whole; holds no pointers.
typedef struct MapViewState {
    uint32_t centerX;
    uint32_t centerY;
    float zoomLevel;
    float rotation;          // degrees, heading of the camera clockwise from north, as stored
    float cameraPitch;       // degrees, 0..65
    float mapUnitsPerPixel;  // at the view centre
    // Derived by the engine.
    int32_t originX;
    int32_t originY;
    float mapUnitsPerGLX;
    float mapUnitsPerGLY;
    float projectionMatrix[16];  // column-major, as glLoadMatrixf takes it
    float modelviewMatrix[16];
    int32_t viewport[4];  // x, y, width, height in engine pixels
    // Bounding box of the visible ground, in map units.
    int32_t visibleMinX;
    int32_t visibleMinY;
    int32_t visibleMaxX;
    int32_t visibleMaxY;
} MapViewState;

typedef struct MapEngine MapEngine;
struct NSError;

typedef void (*CreateMapCallback)(void* context);
typedef void (*ProcessMapEventCallback)(void* context);
typedef void (*RenderMapCallback)(void* context, int state);
typedef void (*InitMapCallback)(void* context, int width, int height);
typedef void (*DestroyMapCallback)(void* context);
typedef void (*MapDataRequiredCallback)(void* context, MapDataType dataType, const char* names,
                                        int count);
typedef void (*LabelsRequiredCallback)(void* context, const uint16_t* codes, int count);
typedef void (*AsciiCharWidthsCallback)(void* context, uint8_t* widths, int fontSize);
typedef void (*CharWidthsCallback)(void* context, const uint16_t* characters, int count,
                                   int fontSize, uint8_t* results);
typedef void (*ReferenceChangedCallback)(void* context, const char* oldGrid, const char* newGrid);
typedef void (*NetworkActivityCallback)(void* context, int active);
typedef void (*DownloadDataCallback)(void* context, int failed, uint32_t urlHash, uint32_t dataSize,
                                     const struct NSError* error);

typedef struct EngineCallbackTable {
    CreateMapCallback createMap;
    void* createMapContext;
    ProcessMapEventCallback processMapEvent;
    void* processMapEventContext;
    RenderMapCallback renderMap;
    void* renderMapContext;
    InitMapCallback initMap;
    void* initMapContext;
    DestroyMapCallback destroyMap;
    void* destroyMapContext;
    MapDataRequiredCallback mapDataRequired;
    void* mapDataRequiredContext;
    LabelsRequiredCallback labelsRequired;
    void* labelsRequiredContext;
    AsciiCharWidthsCallback asciiCharWidths;
    void* asciiCharWidthsContext;
    CharWidthsCallback charWidths;
    void* charWidthsContext;
    ReferenceChangedCallback referenceChanged;
    void* referenceChangedContext;
    NetworkActivityCallback networkActivity;
    void* networkActivityContext;
    DownloadDataCallback downloadData;
    void* downloadDataContext;
} EngineCallbackTable;

// Render states the frame reports through renderMap.
enum {
    kRenderStateProjectionReady = 1,
    kRenderStateOverlayLevel0 = 3,
    kRenderStateOverlayLevel1 = 5,
    kRenderStateFrameDone = 11
};

// Parameters the engine acts on.
enum { kMapParameterTraffic = 2010, kMapParameterTaskManager = 2501 };

// An engine belongs to the thread that created it. Only mapEnginePutGridData,
// mapEnginePutGlyphBitmaps, mapEngineGetCurrent, mapEngineGetCurrentTiles, mapEngineGetFrameRate
// and refreshAllShownGridNames may be called from other threads (the record and projection
// functions touch only the record they are given); debug and sanitizer builds stop the process on
// any other engine call from another thread.

// Lifecycle and frame.
MapEngine* mapEngineCreate(const EngineCreationRecord* record);
void mapEngineDestroy(MapEngine* engine);
void mapEngineInit(MapEngine* engine);
void mapEngineRenderFrame(MapEngine* engine);
void mapEngineSetSurfaceSize(MapEngine* engine, int32_t width, int32_t height);
MapEngine* mapEngineGetCurrent(void);
// The frames per second the engine is made for, set at creation; 0 for a null handle.
int mapEngineGetFrameRate(const MapEngine* engine);

void mapEngineSetCreateMapCallback(MapEngine* engine, CreateMapCallback fn, void* context);
void mapEngineSetProcessMapEventCallback(MapEngine* engine, ProcessMapEventCallback fn,
                                         void* context);
void mapEngineSetRenderMapCallback(MapEngine* engine, RenderMapCallback fn, void* context);
void mapEngineSetInitMapCallback(MapEngine* engine, InitMapCallback fn, void* context);
void mapEngineSetDestroyMapCallback(MapEngine* engine, DestroyMapCallback fn, void* context);
void mapEngineSetMapDataRequiredCallback(MapEngine* engine, MapDataRequiredCallback fn,
                                         void* context);
void mapEngineSetLabelsRequiredCallback(MapEngine* engine, LabelsRequiredCallback fn,
                                        void* context);
void mapEngineSetAsciiCharWidthsCallback(MapEngine* engine, AsciiCharWidthsCallback fn,
                                         void* context);
void mapEngineSetCharWidthsCallback(MapEngine* engine, CharWidthsCallback fn, void* context);
void mapEngineSetReferenceChangedCallback(MapEngine* engine, ReferenceChangedCallback fn,
                                          void* context);
void mapEngineSetNetworkActivityCallback(MapEngine* engine, NetworkActivityCallback fn,
                                         void* context);
void mapEngineSetDownloadDataCallback(MapEngine* engine, DownloadDataCallback fn, void* context);

// Data in. Bodies are one record body of a map data answer: 4 bytes of the engine's own, a name
// length n, n name bytes, then the grid's data.
int mapEnginePutGridData(MapEngine* engine, MapDataType dataType, const uint8_t* body,
                         int32_t length);
// The bitmap is side × side bytes of alpha, row 0 at the top; the engine copies exactly that
// before it returns. Returns 0, also for a null bitmap (ignored), and -1 for a side outside
// 1..kGlyphBitmapMaxSide (nothing read).
int mapEnginePutGlyphBitmaps(MapEngine* engine, uint16_t code, const uint8_t* bitmap, int32_t side);
void mapEngineSetStyle(MapEngine* engine, const uint8_t* bytes, int32_t length, int mapType,
                       int compressed);
void mapEngineSetTexture(MapEngine* engine, const uint8_t* bytes, int32_t length, int kind);
void mapEngineSetParameter(MapEngine* engine, int parameterId, const uint32_t* block);

// View record.
MapViewState* mapEngineGetViewState(MapEngine* engine);
void mapEngineSetViewState(MapEngine* engine, const MapViewState* state);
MapViewState* mapEngineCopyProjection(MapEngine* engine);
void mapEngineFreeProjection(MapViewState* state);
void mapEngineGetCenter(const MapViewState* state, uint32_t* x, uint32_t* y);
void mapEngineSetCenter(MapViewState* state, int32_t x, int32_t y);
float mapEngineGetZoomLevel(const MapViewState* state);
void mapEngineSetZoomLevel(MapViewState* state, float zoomLevel);
float mapEngineMaxZoomLevel(void);
float mapEngineMinZoomLevel(void);
float mapEngineGetRotation(const MapViewState* state);
void mapEngineSetRotation(MapViewState* state, float degrees);
float mapEngineGetCameraPitch(const MapViewState* state);
void mapEngineSetCameraPitch(MapViewState* state, float degrees);
void mapEngineUpdateView(MapViewState* state);

// Projection.
void mapEngineMapToGL(const MapViewState* state, int32_t mapX, int32_t mapY, float* glX,
                      float* glY);
void viewStateMapToGL(const MapViewState* state, int32_t mapX, int32_t mapY, float* glX,
                      float* glY);
void mapEngineGLToMap(const MapViewState* state, int32_t* mapX, int32_t* mapY, float glX,
                      float glY);
void mapEngineGLToScreen(const MapViewState* state, double* screenX, double* screenY, float glX,
                         float glY);
void mapEngineScreenToGL(const MapViewState* state, float* glX, float* glY, double screenX,
                         double screenY);
// A view record's way from map points to screen points, made once for many points: the record's
// matrices are multiplied here, not for every point. It answers for the record as it was made.
typedef struct MapScreenTransform {
    double matrix[16];  // projection times modelview, column-major
    int32_t originX;
    int32_t originY;
    float mapUnitsPerGLX;
    float mapUnitsPerGLY;
    int32_t viewport[4];
    int hasScale;
    int hasViewport;
} MapScreenTransform;
void mapEngineMakeScreenTransform(const MapViewState* state, MapScreenTransform* transform);
// What mapEngineMapToGL and then mapEngineGLToScreen give for the point, to the last bit; the
// outputs are left as they were for a point behind the camera, and for a record without scale
// or viewport.
void mapEngineMapToScreen(const MapScreenTransform* transform, int32_t mapX, int32_t mapY,
                          double* screenX, double* screenY);
float mapEngineMapLengthAtCenter(const MapViewState* state, int pixels);
float mapEngineMapLengthForPixels(const MapViewState* state, int32_t pixels);
int mapEngineCoordinateToMapPoint(int32_t* x, int32_t* y, double longitude, double latitude);
int mapEngineMapPointToCoordinate(int32_t x, int32_t y, double* longitude, double* latitude);
void offsetCoordinate(double* longitudeOut, double* latitudeOut, double longitude, double latitude);

// Queries.
// The points of interest whose label point lies within radius engine pixels of (x, y), nearest
// first, as one array the caller frees with free(); null with a count of 0 when there is none.
PoiHitRecord* mapEngineSelectPois(MapEngine* engine, int32_t x, int32_t y, int32_t radius,
                                  int* count);
// Writes byte 0 = n, then n entries of (length L, L name bytes, status: 1 held, 0 missing), only
// whole entries that fit in capacity bytes; returns n.
int mapEngineGetCurrentTiles(MapEngine* engine, uint8_t* buffer, int32_t capacity,
                             MapDataType dataType);
void refreshAllShownGridNames(void);

#ifdef __cplusplus
}
#endif
