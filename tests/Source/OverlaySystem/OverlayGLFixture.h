#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "GLESUtility.h"
#include "GLTarget.h"
#include "OpenGLES/EAGLDrawable.h"
#include "UIKit/UIScreen.h"
#include "VMOverlayMapView.h"

// A map whose map points are its view points and GL units, so overlays land where their points
// say.
class FlatMap : public VMOverlayMapView {
  public:
    FlatMap() {
        state.mapUnitsPerGLX = state.mapUnitsPerGLY = 1;
        state.mapUnitsPerPixel = 1;
    }
    CGRect overlayViewBounds() override { return bounds; }
    VMMapPoint overlayMapPointForPoint(CGPoint p) override {
        return {p.x + state.originX, p.y + state.originY};
    }
    const MapViewState* overlayViewState() override { return &state; }

    CGRect bounds = CGRectMake(0, 0, 64, 64);
    MapViewState state{};
};

// A 64 x 64 offscreen frame over opaque white, GL y up (row 0 at the bottom) unless the map's
// orientation (y down, north at the top) is asked for.
class OverlayGLTest : public ::testing::Test {
  protected:
    static constexpr int kSize = 64;

    void SetUp() override {
        if (!gl.context()) GTEST_SKIP() << "EGL cannot create an OpenGL ES 1.1 context here";
        drawable->setDrawableSize(kSize, kSize);
        ASSERT_TRUE(gl.attach(drawable));
        UIScreen::mainScreen()->setScale(1);
        glViewport(0, 0, kSize, kSize);
        orient(false);
        clearToWhite();
        const CGPoint window[] = {{-64, -64}, {128, -64}, {128, 128}, {-64, 128}};
        GLESUtility::sharedUtility()->setClipWindow(window, 4);
    }
    void TearDown() override {
        if (!gl.context()) return;
        GLESUtility::sharedUtility()->clear();
        UIScreen::mainScreen()->setScale(2);
    }

    void orient(bool mapDown) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        if (mapDown) {
            glOrthof(0, kSize, kSize, 0, -1, 1);
        } else {
            glOrthof(0, kSize, 0, kSize, -1, 1);
        }
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }
    void clearToWhite() {
        glClearColor(1, 1, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    // The pixel whose centre is (x + 0.5, y + 0.5) in GL coordinates.
    std::array<int, 4> pixel(int x, int y) {
        std::uint8_t p[4];
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return {p[0], p[1], p[2], p[3]};
    }
    std::vector<std::uint8_t> frame() {
        std::vector<std::uint8_t> pixels(kSize * kSize * 4);
        glReadPixels(0, 0, kSize, kSize, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }
    bool isWhite(int x, int y) { return pixel(x, y) == std::array<int, 4>{255, 255, 255, 255}; }
    static bool near(std::array<int, 4> a, std::array<int, 3> rgb, int tolerance = 3) {
        for (int i = 0; i < 3; ++i) {
            if (std::abs(a[i] - rgb[i]) > tolerance) return false;
        }
        return true;
    }

    testsupport::GLTarget gl;
    std::shared_ptr<EAGLDrawable> drawable = std::make_shared<EAGLDrawable>();
};
