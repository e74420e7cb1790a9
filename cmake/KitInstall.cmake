# `cmake --install` puts the map kit where a program outside this tree finds it with
# find_package(BrisfoldKit): its static libraries, the ones they need (the host of the phone's screen
# among them), the headers a program includes, the kit's resource bundle, and
# BrisfoldKit::VMMapView, BrisfoldKit::OfflineSystem and BrisfoldKit::host to link against.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(BRISFOLD_KIT_TARGETS
    Foundation CoreGraphics QuartzCore UIKit OpenGLES CoreLocation Security SystemConfiguration host
    vmap_core ServicesSystem OverlaySystem CommonTool DataProvider Render Annotations VMMapView
    VMDownloader OfflineSystem)
set(BRISFOLD_KIT_INCLUDE ${CMAKE_INSTALL_INCLUDEDIR}/brisfold)

# The headers a program includes, by library: the map view and its snapshots, annotations and
# callouts, overlays and their geometry, offline packages, the services' settings, the analytics
# log's switches and the map application launch, the host of the screen, and every header these
# include (the downloader's, which the offline manager's names). The kit's engine internals,
# crypto, keychain and caches stay in the tree.
# A program includes them as "<library>/<header>" (the kit's headers include each other so too).
set(BRISFOLD_KIT_HEADERS_VMMapView
    VMMapLayer.h VMMapStatus.h VMMapView.h VMMapViewSnapshot.h VMUserLocation.h)
set(BRISFOLD_KIT_HEADERS_Annotations
    VAvaCalloutBackgroundView.h VAvaCalloutMaskedBackgroundView.h VAvaCalloutView.h
    VMAngleIndicator.h VMAnnotationFloor.h VMAnnotationMapView.h VMAnnotationView.h
    VMCompassView.h VMPinAnnotationView.h VMPointAnnotation.h VMScaleUnitsView.h VMScaleView.h
    VMTouchPoi.h VMTrafficColorWrapper.h VMUserLocationView.h VMViewRecycler.h)
set(BRISFOLD_KIT_HEADERS_OverlaySystem
    GLESUtility.h NSValueVMGeometryExtensions.h UIColorVMConvert.h VMCircle.h VMCircleView.h
    VMGeodesicPolyline.h VMGeometry.h VMGroundOverlay.h VMGroundOverlayView.h VMHeatMapGradient.h
    VMHeatMapNode.h VMHeatMapTileOverlay.h VMHeatMapTileProvider.h VMLineBuilder.h VMMultiPoint.h
    VMOverlay.h VMOverlayContainerView.h VMOverlayMapView.h VMOverlayPathView.h VMOverlayView.h
    VMPolygon.h VMPolygonClipper.h VMPolygonTriangulator.h VMPolygonView.h VMPolyline.h
    VMPolylineView.h VMQuadTree.h VMShape.h VMTileOverlay.h VMTileOverlayView.h
    VMTileOverlayViewRender.h VMVector.h)
set(BRISFOLD_KIT_HEADERS_Render VMAnimation.h VMBaseMapView.h VMMediaTimingFunction.h VURI1Vovure.h)
set(BRISFOLD_KIT_HEADERS_ServicesSystem VMAnalytics.h VMMapServices.h VMMapURLSearch.h)
set(BRISFOLD_KIT_HEADERS_OfflineSystem
    VMOfflineCityAggregateOld.h VMOfflineItem.h VMOfflinePackage.h ZUZavadevIru.h)
set(BRISFOLD_KIT_HEADERS_VMDownloader VMDownloader.h VMDownloaderOperation.h)
set(BRISFOLD_KIT_HEADERS_DataProvider VMCallbackBridge.h)
set(BRISFOLD_KIT_HEADERS_CommonTool "")
set(BRISFOLD_KIT_HEADERS_vmap_core MapEngine.h)
set(BRISFOLD_KIT_HEADERS_Foundation
    Clock.h Dispatch.h NSBundle.h NSCoding.h NSData.h NSDate.h NSError.h NSHTTPHeaderFields.h
    NSCache.h NSHTTPURLResponse.h NSKeyedUnarchiver.h NSNotificationCenter.h NSObject.h NSOperation.h
    NSOperationQueue.h NSPathUtilities.h NSRunLoop.h NSThread.h NSURL.h NSURLConnection.h
    NSURLLoader.h NSURLRequest.h NSURLResponse.h NSValue.h ThreadChecker.h)
set(BRISFOLD_KIT_HEADERS_CoreGraphics CGColor.h CGContext.h CGGeometry.h CGImage.h CGPath.h CGText.h)
set(BRISFOLD_KIT_HEADERS_CoreLocation
    CLLocation.h CLLocationCoordinate2D.h CLLocationManager.h CLLocationSource.h)
set(BRISFOLD_KIT_HEADERS_OpenGLES EAGLContext.h EAGLDrawable.h ES1.h)
set(BRISFOLD_KIT_HEADERS_QuartzCore
    CAAnimation.h CABasicAnimation.h CADisplayLink.h CAEAGLLayer.h CAGradientLayer.h
    CAKeyframeAnimation.h CALayer.h CAMediaTimingFunction.h CAPropertyAnimation.h CAShapeLayer.h
    CATransform3D.h CAValue.h)
set(BRISFOLD_KIT_HEADERS_UIKit
    NSStringDrawing.h UIBezierPath.h UIButton.h UIColor.h UIControl.h UIDevice.h UIFont.h
    UIGeometry.h UIGestureRecognizer.h UIGestureRecognizerBase.h UIImage.h UIImageView.h UILabel.h
    UILongPressGestureRecognizer.h UIPanGestureRecognizer.h UIPinchGestureRecognizer.h
    UIRequiredTouchesGestureRecognizer.h UIResponder.h UIRotationGestureRecognizer.h
    UITapGestureRecognizer.h UITextAttributes.h UITouch.h UITwoFingerGestureRecognizer.h UIView.h
    UIWindow.h)
set(BRISFOLD_KIT_HEADERS_Security "")
set(BRISFOLD_KIT_HEADERS_SystemConfiguration "")
set(BRISFOLD_KIT_HEADERS_host Host.h ScreenCompositor.h)

# The installed libraries name no place of this machine's checkout: their debug information and
# the file names in their messages are relative to the source tree.
set(file_prefix_maps -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.)
cmake_path(IS_PREFIX CMAKE_SOURCE_DIR ${CMAKE_BINARY_DIR} NORMALIZE build_inside)
if(NOT build_inside)
    list(APPEND file_prefix_maps -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
endif()

foreach(target IN LISTS BRISFOLD_KIT_TARGETS)
    get_target_property(source ${target} SOURCE_DIR)
    get_filename_component(library ${source} NAME)
    get_filename_component(parent ${source} DIRECTORY)

    # While building, a header is found by its bare name and as "<library>/<header>"; once
    # installed, as "<library>/<header>" in the prefix.
    get_target_property(dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
    list(APPEND dirs ${parent})
    list(REMOVE_DUPLICATES dirs)
    set(wrapped "")
    foreach(dir IN LISTS dirs)
        list(APPEND wrapped "$<BUILD_INTERFACE:${dir}>")
    endforeach()
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${wrapped}")
    target_include_directories(${target} INTERFACE $<INSTALL_INTERFACE:${BRISFOLD_KIT_INCLUDE}>)

    if(NOT DEFINED BRISFOLD_KIT_HEADERS_${library})
        message(FATAL_ERROR "the kit's library ${library} has no list of public headers")
    endif()
    list(TRANSFORM BRISFOLD_KIT_HEADERS_${library} PREPEND ${source}/ OUTPUT_VARIABLE headers)
    install(FILES ${headers} DESTINATION ${BRISFOLD_KIT_INCLUDE}/${library})

    target_compile_options(${target} PRIVATE ${file_prefix_maps})
    # The headers are C++20: a program gets the standard with the target, whatever it sets.
    target_compile_features(${target} INTERFACE cxx_std_20)
endforeach()

install(TARGETS ${BRISFOLD_KIT_TARGETS} EXPORT BrisfoldKitTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT BrisfoldKitTargets NAMESPACE BrisfoldKit::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/BrisfoldKit)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/BrisfoldKitConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/BrisfoldKitConfig.cmake
    INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/BrisfoldKit)
# The source that tells each program where the installed bundle is (see Foundation).
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/BrisfoldKitConfig.cmake
        ${CMAKE_CURRENT_LIST_DIR}/ProgramResources.cpp
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/BrisfoldKit)
# The kit's bundle as the build tree holds it, with the offline catalogue the build made; its
# logo images are compiled into the kit.
install(DIRECTORY ${BRISFOLD_RESOURCES_DIR}/VAva.bundle
        DESTINATION ${BRISFOLD_KIT_RESOURCES_DESTINATION}
        PATTERN embedded EXCLUDE)

# What `cmake --install` takes and nothing else: the libraries and the bundle with its catalogue.
add_custom_target(kit)
add_dependencies(kit ${BRISFOLD_KIT_TARGETS} offline_catalogue)
