#pragma once

#include <memory>
#include <string>

#include "UIKit/UIControl.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWindow.h"

// The screens' toolbox: the loading overlay, the shared bars' removal and text sizes.
class FactoryClass {
  public:
    // The app's window: the delegate's, or the key window before there is a delegate.
    static std::shared_ptr<UIWindow> window();

    // Covers the window with the loading overlay and its spinner and turns the network activity
    // indicator on. A tap on the overlay takes it down.
    static void showloadingView();
    // Takes the overlay down and turns the indicator off, when the indicator is on.
    static void deleteLoingView();
    static bool isLoadingShown();
    // The overlay, made on first use.
    static const std::shared_ptr<UIControl>& loadingView();

    // Takes the custom navigation bar (tag 98) and tab bar (tag 99) off the screen's view.
    static void removeBarWithClass(UIViewController& screen);

    // 40 for two empty texts, else the taller of the title wrapped to (width / 5) * 2 - 20 and
    // the content wrapped to (width / 5) * 3 - 30, in the system font of that size.
    static int heightOfCellWithTitleText(const std::string& title, const std::string& content,
                                         int width, int font, bool lBold, bool rBold);
    // The width of the text within (window width - 20) x height, truncated; 0 for no text.
    static int widthOfButtonWithContentText(const std::string& text, int height, int font,
                                            bool bold);
};
