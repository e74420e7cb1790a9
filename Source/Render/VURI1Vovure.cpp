#include "VURI1Vovure.h"

#include <cstring>
#include <filesystem>
#include <vector>

#include "UIKit/NSStringDrawing.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphicsImageRenderer.h"
#include "UIKit/UIScreen.h"
#include "VAFontModelCreator.h"
#include "VAvaCoreDataProvider.h"
#include "VMInternalTexture.h"
#include "VMMapServices.h"
#include "VMResources.h"
#include "VURI1VovureCallbackBridge.h"
#include "ZIRidUdoDoNotBackup.h"

namespace {

// Plain functions the engine calls with the renderer as their context.
VURI1Vovure& self(void* context) { return *static_cast<VURI1Vovure*>(context); }

void createMapFn(void* c) { self(c).createMap(); }
void processMapEventFn(void* c) { self(c).processMapEvent(); }
void renderMapFn(void* c, int state) { self(c).renderMap(state); }
void initMapFn(void* c, int w, int h) { self(c).initMap(w, h); }
void destroyMapFn(void* c) { self(c).destroyMap(); }
void mapDataRequiredFn(void* c, MapDataType type, const char* names, int count) {
    self(c).mapDataRequired(type, names, count);
}
void labelsRequiredFn(void* c, const uint16_t* codes, int count) {
    self(c).labelsRequired(codes, count);
}
void asciiCharWidthsFn(void*, uint8_t* widths, int fontSize) {
    VURI1Vovure::requireAsciiCharWidths(widths, fontSize);
}
void charWidthsFn(void* c, const uint16_t* chars, int count, int fontSize, uint8_t* results) {
    self(c).requireCharWidths(chars, count, fontSize, results);
}
void referenceChangedFn(void* c, const char* oldGrid, const char* newGrid) {
    self(c).referenceChanged(oldGrid, newGrid);
}
void networkActivityFn(void* c, int active) { self(c).networkActivityChange(active); }
void downloadDataFn(void* c, int failed, uint32_t hash, uint32_t size, const NSError* error) {
    self(c).downloadData(failed, hash, size, error);
}

}  // namespace

std::shared_ptr<VURI1Vovure> VURI1Vovure::create() {
    auto renderer = std::shared_ptr<VURI1Vovure>(new VURI1Vovure());
    renderer->context_ = EAGLContext::create(kEAGLRenderingAPIOpenGLES1);
    if (!renderer->context_ || !EAGLContext::setCurrentContext(renderer->context_)) return nullptr;
    renderer->callbackBridge_ = VURI1VovureCallbackBridge::create(renderer);
    // Without a drawable yet: a framebuffer of no size, and with it the engine.
    renderer->createFramebufferFromLayer(nullptr);
    return renderer;
}

VURI1Vovure::~VURI1Vovure() {
    deleteFramebuffer();
    if (context_ && EAGLContext::currentContext() == context_) {
        glFlush();
        EAGLContext::setCurrentContext(nullptr);
    }
    cleanupCallback();
    cleanProjection();
    if (mapEngine_) mapEngineDestroy(mapEngine_);
}

// The engine draws into whatever context is current: the renderer always keeps one.
void VURI1Vovure::setContext(std::shared_ptr<EAGLContext> context) {
    if (!context || context == context_) return;
    deleteFramebuffer();
    context_ = std::move(context);
}

bool VURI1Vovure::makeCurrent() { return context_ && EAGLContext::setCurrentContext(context_); }

bool VURI1Vovure::resizeFromLayer(const std::shared_ptr<CAEAGLLayer>& layer) {
    eaglLayer_ = layer;
    deleteFramebuffer();
    return true;
}

void VURI1Vovure::render() {
    if (renderDisabled_) return;
    if (defaultFrameBuffer_ == 0) createFramebufferFromLayer(eaglLayer_);
    if (context_) {
        glFlush();
        makeCurrent();
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, defaultFrameBuffer_);
        glViewport(0, 0, backingWidth_, backingHeight_);
    }
    if (mapEngine_) mapEngineRenderFrame(mapEngine_);
    presentFramebuffer();
}

MapViewState* VURI1Vovure::projection() {
    if (!projection_ && mapEngine_) projection_ = mapEngineCopyProjection(mapEngine_);
    return projection_;
}

void VURI1Vovure::cleanProjection() {
    mapEngineFreeProjection(projection_);
    projection_ = nullptr;
}

void VURI1Vovure::reconstructMapEngine() {
    cleanProjection();
    deleteFramebuffer();
    if (!mapEngine_) return;
    cleanupCallback();
    mapEngineDestroy(mapEngine_);
    mapEngine_ = nullptr;
}

std::string VURI1Vovure::getBasePath() {
    namespace fs = std::filesystem;
    const fs::path base = VMResources::coreCachePath();
    std::error_code ec;
    for (const char* sub : {"vmap", "cache/vmaptiles", "cache/vmapres"})
        fs::create_directories(base / sub, ec);
    return base.string() + "/";
}

void VURI1Vovure::createMapEngine() {
    if (mapEngine_) {
        cleanupCallback();
        mapEngineDestroy(mapEngine_);
        mapEngine_ = nullptr;
    }
    createDirectoryAndForbidBackup(VMResources::coreCachePath());
    EngineCreationRecord record{};
    const std::string base = getBasePath();
    // A path that does not fit its field would reach the engine cut short.
    if (base.size() >= sizeof record.dataDirectory) return;
    std::memcpy(record.dataDirectory, base.c_str(), base.size() + 1);
    VAFontModelCreator::instance()->getCurrentFontName(record.fontName);
    mapEngine_ = mapEngineCreate(&record);
    if (!mapEngine_) return;
    setUpCallback();
    mapEngineInit(mapEngine_);
    VMInternalTexture::initInternalTextureWithArgument({mapEngine_, 0, 0, 0, false});
    mapEngineSetSurfaceSize(mapEngine_, backingWidth_, backingHeight_);
}

void VURI1Vovure::setUpCallback() {
    MapEngine* e = mapEngine_;
    const auto provider = VAvaCoreDataProvider::sharedInstance();
    provider->setMapEngine(e);
    provider->setBaseServer(VMMapServices::sharedServices()->internalServerAddress());
    mapEngineSetCreateMapCallback(e, createMapFn, this);
    mapEngineSetProcessMapEventCallback(e, processMapEventFn, this);
    mapEngineSetRenderMapCallback(e, renderMapFn, this);
    mapEngineSetInitMapCallback(e, initMapFn, this);
    mapEngineSetDestroyMapCallback(e, destroyMapFn, this);
    mapEngineSetMapDataRequiredCallback(e, mapDataRequiredFn, this);
    mapEngineSetLabelsRequiredCallback(e, labelsRequiredFn, this);
    mapEngineSetAsciiCharWidthsCallback(e, asciiCharWidthsFn, this);
    mapEngineSetCharWidthsCallback(e, charWidthsFn, this);
    mapEngineSetReferenceChangedCallback(e, referenceChangedFn, this);
    mapEngineSetNetworkActivityCallback(e, networkActivityFn, this);
    mapEngineSetDownloadDataCallback(e, downloadDataFn, this);
}

// The engine's workers may be inside a callback; each setter waits for them to leave, so no
// callback reaches this renderer after it is gone.
void VURI1Vovure::cleanupCallback() {
    MapEngine* e = mapEngine_;
    if (!e) return;
    // Before the engine can go: no download may put into it afterwards. The provider feeds one
    // engine; when that is another map's, this one going must not starve it.
    const auto provider = VAvaCoreDataProvider::sharedInstance();
    if (provider->mapEngine() == e) provider->setMapEngine(nullptr);
    mapEngineSetCreateMapCallback(e, nullptr, nullptr);
    mapEngineSetProcessMapEventCallback(e, nullptr, nullptr);
    mapEngineSetRenderMapCallback(e, nullptr, nullptr);
    mapEngineSetInitMapCallback(e, nullptr, nullptr);
    mapEngineSetDestroyMapCallback(e, nullptr, nullptr);
    mapEngineSetMapDataRequiredCallback(e, nullptr, nullptr);
    mapEngineSetLabelsRequiredCallback(e, nullptr, nullptr);
    mapEngineSetAsciiCharWidthsCallback(e, nullptr, nullptr);
    mapEngineSetCharWidthsCallback(e, nullptr, nullptr);
    mapEngineSetReferenceChangedCallback(e, nullptr, nullptr);
    mapEngineSetNetworkActivityCallback(e, nullptr, nullptr);
    mapEngineSetDownloadDataCallback(e, nullptr, nullptr);
}

void VURI1Vovure::createFramebufferFromLayer(const std::shared_ptr<CAEAGLLayer>& layer) {
    if (!context_ || defaultFrameBuffer_ != 0) return;
    glFlush();
    makeCurrent();
    glGenFramebuffersOES(1, &defaultFrameBuffer_);
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, defaultFrameBuffer_);
    glGenRenderbuffersOES(1, &colorRenderBuffer_);
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, colorRenderBuffer_);
    context_->renderbufferStorage(GL_RENDERBUFFER_OES, layer);
    glGetRenderbufferParameterivOES(GL_RENDERBUFFER_OES, GL_RENDERBUFFER_WIDTH_OES, &backingWidth_);
    glGetRenderbufferParameterivOES(GL_RENDERBUFFER_OES, GL_RENDERBUFFER_HEIGHT_OES,
                                    &backingHeight_);
    glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_RENDERBUFFER_OES,
                                 colorRenderBuffer_);
    glGenRenderbuffersOES(1, &depthBuffer_);
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, depthBuffer_);
    glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_DEPTH_COMPONENT16_OES, backingWidth_,
                             backingHeight_);
    glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_DEPTH_ATTACHMENT_OES, GL_RENDERBUFFER_OES,
                                 depthBuffer_);
    glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES);
    if (mapEngine_) {
        if (projection_) mapEngineSetViewState(mapEngine_, projection_);
        mapEngineSetSurfaceSize(mapEngine_, backingWidth_, backingHeight_);
    } else {
        createMapEngine();
    }
    cleanProjection();
}

void VURI1Vovure::deleteFramebuffer() {
    if (!context_) return;
    glFlush();
    makeCurrent();
    if (depthBuffer_) glDeleteRenderbuffersOES(1, &depthBuffer_);
    if (colorRenderBuffer_) glDeleteRenderbuffersOES(1, &colorRenderBuffer_);
    if (defaultFrameBuffer_) glDeleteFramebuffersOES(1, &defaultFrameBuffer_);
    depthBuffer_ = colorRenderBuffer_ = defaultFrameBuffer_ = 0;
}

void VURI1Vovure::presentFramebuffer() {
    if (!context_) return;
    glFlush();
    makeCurrent();
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, colorRenderBuffer_);
    context_->presentRenderbuffer(GL_RENDERBUFFER_OES);
    if (snapshotEnabled_) {
        takeSnapshot();
        snapshotEnabled_ = false;
        snapshotPath_ = nullptr;
    }
}

// The picture is the frame just presented: the layer holds it upright already, so a second
// read of the frame buffer and a second full-screen copy are spared.
void VURI1Vovure::takeSnapshot() {
    snapshotImage_ = nullptr;
    const CGFloat scale = UIScreen::mainScreen()->scale();
    const CGSize size = CGSizeMake(static_cast<int>(backingWidth_ / scale),
                                   static_cast<int>(backingHeight_ / scale));
    if (size.width <= 0 || size.height <= 0 || !eaglLayer_) return;
    CGImageRef presented = eaglLayer_->contents();
    if (!presented || presented->width() != backingWidth_ || presented->height() != backingHeight_)
        return;
    auto frame = UIImage::imageWithCGImage(std::move(presented), scale);
    // A clip holding the whole frame leaves it as it is.
    CGRect clip;
    if (size.width * scale == backingWidth_ && size.height * scale == backingHeight_ &&
        (!snapshotPath_ || (CGPathIsRect(snapshotPath_->CGPath(), &clip) &&
                            CGRectContainsRect(clip, CGRectMake(0, 0, size.width, size.height))))) {
        snapshotImage_ = std::move(frame);
        return;
    }
    snapshotImage_ = UIGraphicsImageRenderer(size, false, scale).image([&](CGContextRef c) {
        if (snapshotPath_) snapshotPath_->addClip();
        CGContextSetBlendMode(c, kCGBlendModeCopy);
        frame->drawInRect(CGRectMake(0, 0, size.width, size.height));
    });
}

void VURI1Vovure::processMapEvent() {
    if (!projection_) return;
    mapEngineSetViewState(mapEngine_, projection_);
    cleanProjection();
}

void VURI1Vovure::renderMap(int state) {
    if (auto d = delegate()) d->renderState(*this, state);
}

void VURI1Vovure::mapDataRequired(MapDataType dataType, const char* names, int count) {
    VAvaCoreDataProvider::sharedInstance()->requireMapDataWithDataSource(dataType, names, count,
                                                                         callbackBridge());
}

// On an engine worker: the engine copies each bitmap before the next is drawn on this thread.
void VURI1Vovure::labelsRequired(const uint16_t* codes, int count) {
    if (!codes || count < 1) return;
    const auto side = static_cast<int32_t>(VAFontModelCreator::instance()->side());
    for (int i = 0; i < count; ++i)
        mapEnginePutGlyphBitmaps(mapEngine_, codes[i], getCharBitmap(codes[i]), side);
}

const uint8_t* VURI1Vovure::getCharBitmap(uint16_t code) {
    return VAFontModelCreator::instance()->fontModelForChar(code);
}

void VURI1Vovure::requireAsciiCharWidths(uint8_t* widths, int fontSize) {
    if (!widths) return;
    std::memset(widths, static_cast<uint8_t>(fontSize * 4), 256);
}

void VURI1Vovure::requireCharWidths(const uint16_t* characters, int count, int fontSize,
                                    uint8_t* results) {
    if (!characters || !results || count < 1) return;
    auto font = UIFont::boldSystemFontOfSize(fontSize);
    for (int i = 0; i < count; ++i) {
        const CGFloat width = NSStringSizeWithFont(VAUTF8ForCodeUnit(characters[i]), font).width;
        results[i] = static_cast<uint8_t>(static_cast<int>(width));
    }
}

void VURI1Vovure::referenceChanged(const char*, const char*) {
    if (auto d = delegate()) d->referenceDidChange();
}

void VURI1Vovure::networkActivityChange(int active) {
    if (active == 0) return;
    if (auto d = delegate()) d->willStartLoading();
}

void VURI1Vovure::downloadData(int failed, uint32_t, uint32_t dataSize, const NSError* error) {
    auto d = delegate();
    if (!d) return;
    if (failed == 0) {
        d->didFinishLoadingWithDataSize(dataSize);
    } else if (error) {
        d->didFailLoadingWithError(*error);
    }
}
