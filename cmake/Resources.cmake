# The programs read the bundle's resources from the build tree: a copy of resources/ beside what
# the build makes (the shipped offline catalogue), so that a build writes nothing into the source
# tree. `cmake --install` ships the kit's bundle from the same place.
set(BRISFOLD_RESOURCES_SOURCE_DIR ${CMAKE_SOURCE_DIR}/resources)
set(BRISFOLD_RESOURCES_DIR ${CMAKE_BINARY_DIR}/resources)
set(BRISFOLD_RESOURCES_STAMP ${CMAKE_BINARY_DIR}/resources.stamp)
file(GLOB_RECURSE resource_files CONFIGURE_DEPENDS ${BRISFOLD_RESOURCES_SOURCE_DIR}/*)
# Copied afresh whenever one changes, so that a file deleted from resources/ goes too; the steps
# that add to the copy depend on the stamp and run again after it.
add_custom_command(OUTPUT ${BRISFOLD_RESOURCES_STAMP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${BRISFOLD_RESOURCES_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${BRISFOLD_RESOURCES_SOURCE_DIR}
        ${BRISFOLD_RESOURCES_DIR}
    COMMAND ${CMAKE_COMMAND} -E touch ${BRISFOLD_RESOURCES_STAMP}
    DEPENDS ${resource_files}
    COMMENT "Copying resources/ into the build tree")
add_custom_target(resources ALL DEPENDS ${BRISFOLD_RESOURCES_STAMP})
# Where the installed kit keeps its bundle, under the install prefix.
set(BRISFOLD_KIT_RESOURCES_DESTINATION ${CMAKE_INSTALL_DATADIR}/brisfold/resources)

# Every program of the tree reads the resources from the build tree's copy, so the copy and what
# the build adds to it are made before any program, also when only some targets are built. The
# catalogue's own tool is the one program made before it.
function(brisfold_programs_need_resources dir)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "EXECUTABLE" AND NOT target STREQUAL "brisfold-offline-catalogue")
            add_dependencies(${target} offline_catalogue)
        endif()
    endforeach()
    get_property(subdirectories DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdirectory IN LISTS subdirectories)
        brisfold_programs_need_resources(${subdirectory})
    endforeach()
endfunction()
