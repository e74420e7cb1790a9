# `cmake --install` puts the map kit where a program outside this tree finds it with
# find_package(BrisfoldKit): its static libraries, the ones they need (the host of the phone's screen
# among them), their headers under include/brisfold, and BrisfoldKit::VMMapView and
# BrisfoldKit::host to link against.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(BRISFOLD_KIT_TARGETS
    Foundation CoreGraphics QuartzCore UIKit OpenGLES CoreLocation Security SystemConfiguration host
    vmap_core ServicesSystem OverlaySystem CommonTool DataProvider Render Annotations VMMapView)
set(BRISFOLD_KIT_INCLUDE ${CMAKE_INSTALL_INCLUDEDIR}/brisfold)

foreach(target IN LISTS BRISFOLD_KIT_TARGETS)
    # The headers are found in the source tree while building and in the prefix once installed.
    get_target_property(dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
    set(wrapped "")
    foreach(dir IN LISTS dirs)
        list(APPEND wrapped "$<BUILD_INTERFACE:${dir}>")
    endforeach()
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${wrapped}")
    target_include_directories(${target} INTERFACE $<INSTALL_INTERFACE:${BRISFOLD_KIT_INCLUDE}>)

    # Framework stand-ins keep their folder ("UIKit/UIView.h"), vmap_core its own name, and the
    # kit's parts are included by bare name.
    get_target_property(source ${target} SOURCE_DIR)
    file(GLOB headers ${source}/*.h)
    file(RELATIVE_PATH from_root ${CMAKE_SOURCE_DIR} ${source})
    if(from_root MATCHES "^platform/(.*)$")
        set(destination ${BRISFOLD_KIT_INCLUDE}/${CMAKE_MATCH_1})
    elseif(from_root STREQUAL "vmap_core")
        set(destination ${BRISFOLD_KIT_INCLUDE}/vmap_core)
    else()
        set(destination ${BRISFOLD_KIT_INCLUDE})
    endif()
    install(FILES ${headers} DESTINATION ${destination})
endforeach()

install(TARGETS ${BRISFOLD_KIT_TARGETS} EXPORT BrisfoldKitTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT BrisfoldKitTargets NAMESPACE BrisfoldKit::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/BrisfoldKit)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/BrisfoldKitConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/BrisfoldKitConfig.cmake
    INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/BrisfoldKit)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/BrisfoldKitConfig.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/BrisfoldKit)
