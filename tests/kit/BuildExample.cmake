# Installs the kit into a fresh prefix outside the checkout as the guide's commands do, from a tree
# configured with the tests, fuzzers and benchmarks off, and builds the guide's whole program
# there as an outside program would: the guide's main.cpp and CMakeLists.txt as the guide shows
# them, with no build type, and the example (the same main.cpp) as Debug and as Release with its
# own CMakeLists.txt (a program's build type need not be the kit's; under a sanitizer the guide's
# build alone). Each build runs with the checkout out of its reach and the picture it writes is
# probed. The guide's list of the delegate's callbacks is compiled against the installed headers
# and must name every one. Then the prefix is moved: the program built against it says once where
# it looked for its resources, and finds them where the environment says.
# Inputs: SOURCE_DIR, BUILD_DIR, BUILD_TYPE, GUIDE, EXAMPLE_DIR, GENERATOR, CXX, C, SANITIZE, PROBE.

cmake_minimum_required(VERSION 3.25)

# Runs a command, showing what it said only when it fails.
function(step)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}\n(the work is kept in ${WORK_DIR})")
    endif()
endfunction()

# A block of the guide between its marks, word for word: <!-- NAME: from here -->, then a fence
# of the language, the block, and the closing fence before <!-- NAME: to here -->.
file(READ ${GUIDE} guide)
function(guide_block name language variable)
    set(opening "<!-- ${name}: from here -->\n```${language}\n")
    set(closing "```\n<!-- ${name}: to here -->")
    string(FIND "${guide}" "${opening}" from)
    string(FIND "${guide}" "${closing}" to)
    if(from EQUAL -1 OR to EQUAL -1)
        message(FATAL_ERROR "${GUIDE} does not mark ${name} (\"${opening}\" ... \"${closing}\")")
    endif()
    string(LENGTH "${opening}" mark)
    math(EXPR from "${from} + ${mark}")
    math(EXPR length "${to} - ${from}")
    string(SUBSTRING "${guide}" ${from} ${length} block)
    set(${variable} "${block}" PARENT_SCOPE)
endfunction()

guide_block("a program's CMakeLists.txt" cmake guide_cmakelists)
if(NOT guide_cmakelists MATCHES "add_executable\\(([^ )]+) main.cpp\\)")
    message(FATAL_ERROR "the guide's CMakeLists.txt makes no program of main.cpp:\n${guide_cmakelists}")
endif()
set(guide_program ${CMAKE_MATCH_1})
guide_block("a program's main.cpp" cpp guide_main)
file(READ ${EXAMPLE_DIR}/main.cpp example_main)
if(NOT guide_main STREQUAL example_main)
    message(FATAL_ERROR "the guide's main.cpp differs from ${EXAMPLE_DIR}/main.cpp")
endif()
guide_block("the delegate's callbacks" cpp guide_callbacks)
guide_block("installing the kit" sh guide_install)
guide_block("installing a Debug kit" sh guide_debug_install)
string(REPLACE "build-kit" "build-kit-debug" expected "${guide_install}")
string(REPLACE "-DCMAKE_BUILD_TYPE=RelWithDebInfo" "-DCMAKE_BUILD_TYPE=Debug" expected
    "${expected}")
if(NOT guide_debug_install STREQUAL expected)
    message(FATAL_ERROR "the guide's Debug kit is not installed as its kit is, in build-kit-debug "
        "with -DCMAKE_BUILD_TYPE=Debug:\n${guide_debug_install}")
endif()
# configure, build and install: each a cmake command, as words.
string(REGEX REPLACE "\n$" "" guide_install "${guide_install}")
string(REPLACE "\n" ";" guide_lines "${guide_install}")
list(LENGTH guide_lines count)
if(NOT count EQUAL 3)
    message(FATAL_ERROR
        "the guide installs the kit in other than three commands:\n${guide_install}")
endif()
foreach(step configure build install)
    list(POP_FRONT guide_lines line)
    separate_arguments(guide_${step} UNIX_COMMAND "${line}")
endforeach()
if(NOT guide_configure MATCHES "^cmake;-S;\\.;-B;([^;]+);(.*)$")
    message(FATAL_ERROR "the guide configures the kit otherwise than cmake -S . -B DIR ...")
endif()
set(guide_tree ${CMAKE_MATCH_1})
set(guide_options ${CMAKE_MATCH_2})
if(NOT "-DBUILD_TESTING=OFF" IN_LIST guide_options)
    message(FATAL_ERROR "the guide configures the kit with the tests on: ${guide_options}")
endif()
if(NOT guide_build MATCHES "^cmake;--build;${guide_tree};--target;([^;]+)$")
    message(FATAL_ERROR "the guide builds otherwise than cmake --build ${guide_tree} --target T")
endif()
set(guide_target ${CMAKE_MATCH_1})
if(NOT guide_install STREQUAL "cmake;--install;${guide_tree};--prefix;PREFIX")
    message(FATAL_ERROR
        "the guide installs otherwise than cmake --install ${guide_tree} --prefix PREFIX")
endif()

# What the example must not reach: the checkout, and the build tree when it lies elsewhere.
set(hidden ${SOURCE_DIR})
cmake_path(IS_PREFIX SOURCE_DIR ${BUILD_DIR} NORMALIZE build_inside)
if(NOT build_inside)
    list(APPEND hidden ${BUILD_DIR})
endif()

set(temp $ENV{TMPDIR})
if(NOT temp)
    set(temp /tmp)
endif()
string(RANDOM LENGTH 8 tag)
set(WORK_DIR ${temp}/brisfold-kit-example-${tag})
foreach(dir IN LISTS hidden)
    cmake_path(IS_PREFIX dir ${WORK_DIR} NORMALIZE inside)
    if(inside)
        message(FATAL_ERROR "the temporary directory ${temp} lies in ${dir}")
    endif()
endforeach()
file(MAKE_DIRECTORY ${WORK_DIR}/home)

# The guide's tree, configured as the guide says with this build's compilers, type and sanitizers:
# it has no target of the tests, fuzzers or benchmarks.
set(kit_tree ${WORK_DIR}/${guide_tree})
list(APPEND hidden ${kit_tree})
step(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${kit_tree} ${guide_options} -DCMAKE_CXX_COMPILER=${CXX}
     -DCMAKE_C_COMPILER=${C} -DCMAKE_BUILD_TYPE=${BUILD_TYPE} -DBRISFOLD_SANITIZE=${SANITIZE})
execute_process(COMMAND ninja -C ${kit_tree} -t targets all OUTPUT_VARIABLE targets
    RESULT_VARIABLE status)
string(REGEX MATCHALL "(^|\n)(tests|bench)/[^:]*" test_targets "${targets}")
if(NOT status EQUAL 0 OR test_targets)
    message(FATAL_ERROR
        "the guide's tree (${kit_tree}) builds tests or benchmarks: ${test_targets}")
endif()
# Building the guide's target there anew would take minutes: the files its build makes are taken
# from this build tree, which made them of the same sources with the same settings, so that the
# guide's install runs on its own tree's rules and fails on whatever that target does not make.
# The copy of resources/ stands behind its stamp; what the build adds to it comes only when the
# target makes it.
execute_process(COMMAND ninja -C ${kit_tree} -t graph ${guide_target} OUTPUT_VARIABLE graph
    RESULT_VARIABLE status)
string(REGEX MATCHALL "label=\"[^\"]+\"" nodes "${graph}")
set(made "")
foreach(node IN LISTS nodes)
    string(REGEX REPLACE "^label=\"(.*)\"$" "\\1" path "${node}")
    if(path MATCHES "^(tests|bench)/")
        message(FATAL_ERROR "the guide's target ${guide_target} builds ${path}")
    endif()
    if(NOT path MATCHES "^/|^'|(^|/)CMakeFiles/" AND EXISTS ${BUILD_DIR}/${path}
            AND NOT IS_DIRECTORY ${BUILD_DIR}/${path})
        list(APPEND made ${path})
    endif()
endforeach()
if(NOT status EQUAL 0 OR NOT made)
    message(FATAL_ERROR "the guide's target ${guide_target} makes nothing in ${kit_tree}")
endif()
if("resources.stamp" IN_LIST made)
    file(COPY ${BUILD_DIR}/resources DESTINATION ${kit_tree})
    string(REGEX MATCHALL "(^|\n)resources/[^:\n]*" added "${targets}")
    foreach(path IN LISTS added)
        string(STRIP "${path}" path)
        file(REMOVE ${kit_tree}/${path})
    endforeach()
endif()
foreach(path IN LISTS made)
    get_filename_component(dir ${kit_tree}/${path} DIRECTORY)
    file(COPY ${BUILD_DIR}/${path} DESTINATION ${dir})
endforeach()
# The prefix may be moved as a whole before programs are built against it: they all are built
# where it was moved to.
step(${CMAKE_COMMAND} --install ${kit_tree} --prefix ${WORK_DIR}/installed)
file(RENAME ${WORK_DIR}/installed ${WORK_DIR}/prefix)
set(catalogue share/brisfold/resources/VAva.bundle/offline/offlinePackage.plist)
if(NOT EXISTS ${WORK_DIR}/prefix/${catalogue})
    message(FATAL_ERROR "the kit's install has no ${catalogue}")
endif()
# A sanitizer build's libraries keep their source files' paths for the sanitizers' reports; such
# a build is for this tree's tests, not for shipping.
set(unchecked "")
if(SANITIZE)
    set(unchecked --exclude=*.a)
endif()
foreach(dir IN LISTS hidden)
    execute_process(COMMAND grep -rlF ${unchecked} -- ${dir} ${WORK_DIR}/prefix
        OUTPUT_VARIABLE naming RESULT_VARIABLE status)
    if(NOT status EQUAL 1)
        message(FATAL_ERROR "installed files name ${dir}:\n${naming}")
    endif()
endforeach()

# The headers a program includes are there under their library's folder, the kit's internal ones
# are not, and every installed header finds what it includes in the prefix alone.
file(GLOB_RECURSE headers RELATIVE ${WORK_DIR}/prefix/include/brisfold
    ${WORK_DIR}/prefix/include/brisfold/*.h)
foreach(internal VMMapView/VMMapViewInternal.h ServicesSystem/VMAES.h ServicesSystem/VMRSA.h
        ServicesSystem/VMLogCipher.h vmap_core/MapEngineInternal.h host/SDLHost.h)
    get_filename_component(name ${internal} NAME)
    if(headers MATCHES "(^|;)([^;]*/)?${name}(;|$)")
        message(FATAL_ERROR "the kit installs its internal header ${name}")
    endif()
endforeach()
foreach(public VMMapView/VMMapView.h Annotations/VMPinAnnotationView.h OverlaySystem/VMPolyline.h
        ServicesSystem/VMMapServices.h OfflineSystem/ZUZavadevIru.h UIKit/UIView.h host/Host.h)
    if(NOT public IN_LIST headers)
        message(FATAL_ERROR "the kit does not install ${public}")
    endif()
endforeach()
set(every "")
foreach(header IN LISTS headers)
    string(APPEND every "#include \"${header}\"\n")
endforeach()
file(WRITE ${WORK_DIR}/headers/every.cpp "${every}int main() { return 0; }\n")

# The guide lists every callback of the installed delegate, each form of a name once, and its
# signatures override them (compiled with the headers below).
set(delegate_header ${WORK_DIR}/prefix/include/brisfold/VMMapView/VMMapView.h)
file(READ ${delegate_header} view_header)
string(FIND "${view_header}" "class VMMapViewDelegate {" from)
if(from EQUAL -1)
    message(FATAL_ERROR "${delegate_header} declares no VMMapViewDelegate")
endif()
string(SUBSTRING "${view_header}" ${from} -1 delegate_class)
string(FIND "${delegate_class}" "\n};" to)
string(SUBSTRING "${delegate_class}" 0 ${to} delegate_class)
string(REGEX MATCHALL "virtual [^(]*\\(" declared "${delegate_class}")
set(callbacks "")
foreach(declaration IN LISTS declared)
    string(REGEX REPLACE "^.*[^A-Za-z0-9_]([A-Za-z0-9_]+)\\($" "\\1" name "${declaration}")
    if(NOT name STREQUAL "VMMapViewDelegate")
        list(APPEND callbacks ${name})
    endif()
endforeach()
string(REGEX MATCHALL "[A-Za-z0-9_]+\\([^;{}()]*\\)( const)? override;" overridden
    "${guide_callbacks}")
set(listed "")
foreach(declaration IN LISTS overridden)
    string(REGEX REPLACE "^([A-Za-z0-9_]+)\\(.*$" "\\1" name "${declaration}")
    list(APPEND listed ${name})
endforeach()
set(unlisted "")
set(extra ${listed})
foreach(name IN LISTS callbacks)
    list(FIND extra ${name} at)
    if(at EQUAL -1)
        list(APPEND unlisted ${name})
    else()
        list(REMOVE_AT extra ${at})
    endif()
endforeach()
if(NOT callbacks OR unlisted OR extra)
    message(FATAL_ERROR "the guide's list of the delegate's callbacks lacks [${unlisted}] and has "
        "[${extra}] beyond the ${delegate_header} of the installed kit")
endif()
file(WRITE ${WORK_DIR}/headers/callbacks.cpp
    "#include \"VMMapView/VMMapView.h\"\n\n${guide_callbacks}")

file(WRITE ${WORK_DIR}/headers/CMakeLists.txt
    "cmake_minimum_required(VERSION 3.25)\nproject(EveryHeader CXX)\n"
    "find_package(BrisfoldKit REQUIRED)\n"
    "add_library(every OBJECT every.cpp callbacks.cpp)\n"
    "target_link_libraries(every PRIVATE BrisfoldKit::VMMapView BrisfoldKit::OfflineSystem "
    "BrisfoldKit::host)\n")
step(${CMAKE_COMMAND} -S ${WORK_DIR}/headers -B ${WORK_DIR}/headers/build -G ${GENERATOR}
     -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix -DCMAKE_CXX_COMPILER=${CXX})
step(${CMAKE_COMMAND} --build ${WORK_DIR}/headers/build)

# Runs a command with the checkout and the build tree covered by empty directories, where the
# system lets a user have a mount namespace of his own.
execute_process(COMMAND unshare --map-root-user --mount true RESULT_VARIABLE status
    OUTPUT_QUIET ERROR_QUIET)
if(status EQUAL 0)
    file(WRITE ${WORK_DIR}/out-of-reach.sh [=[
# out-of-reach.sh DIR... -- COMMAND...: covers each DIR with an empty one, then runs COMMAND.
while [ "$1" != -- ]; do
    mount -t tmpfs hidden "$1" || exit 1
    shift
done
shift
exec "$@"
]=])
    set(out_of_reach unshare --map-root-user --mount sh ${WORK_DIR}/out-of-reach.sh ${hidden} --)
else()
    message(STATUS "no mount namespace here: the example runs with the checkout in place")
    set(out_of_reach "")
endif()

# The kit keeps its files in the home of the process: a fresh one, not the user's. The
# sanitizers' suppression files the run is given come along, out of the checkout.
set(run_env --unset=XDG_DATA_HOME --unset=BRISFOLD_RESOURCES_DIR HOME=${WORK_DIR}/home)
foreach(options LSAN_OPTIONS ASAN_OPTIONS UBSAN_OPTIONS TSAN_OPTIONS)
    set(value "$ENV{${options}}")
    if(value MATCHES "suppressions=([^:]+)")
        file(COPY_FILE ${CMAKE_MATCH_1} ${WORK_DIR}/${options}.supp)
        string(REPLACE "${CMAKE_MATCH_1}" "${WORK_DIR}/${options}.supp" value "${value}")
        list(APPEND run_env "${options}=${value}")
    endif()
endforeach()

# The example as a program outside the tree has it: a copy of its own.
file(COPY ${EXAMPLE_DIR}/ DESTINATION ${WORK_DIR}/example)
# A sanitizer build's libraries need the example built with the same sanitizers.
set(flags "")
if(SANITIZE)
    set(flags -DCMAKE_CXX_FLAGS=-fsanitize=${SANITIZE} -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=${SANITIZE})
endif()
# The guide's whole program, its CMakeLists.txt and main.cpp, configured as the guide says, with no
# build type.
file(MAKE_DIRECTORY ${WORK_DIR}/guide)
file(WRITE ${WORK_DIR}/guide/CMakeLists.txt "${guide_cmakelists}")
file(WRITE ${WORK_DIR}/guide/main.cpp "${guide_main}")
# Under a sanitizer the guide's build alone: the build types are the package's matter, which the
# plain build checks.
set(types Debug Release None)
if(SANITIZE)
    set(types None)
endif()
foreach(type IN LISTS types)
    set(build ${WORK_DIR}/build-${type})
    set(source ${WORK_DIR}/example)
    set(program ${build}/map-snapshot)
    set(type_flag -DCMAKE_BUILD_TYPE=${type})
    if(type STREQUAL "None")
        set(source ${WORK_DIR}/guide)
        set(program ${build}/${guide_program})
        set(type_flag "")
    endif()
    step(${CMAKE_COMMAND} -S ${source} -B ${build} -G ${GENERATOR}
         -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix -DCMAKE_CXX_COMPILER=${CXX}
         -DCMAKE_C_COMPILER=${C} ${type_flag} ${flags})
    step(${CMAKE_COMMAND} --build ${build})
    step(${out_of_reach} ${CMAKE_COMMAND} -E env ${run_env} ${program} ${build}/map.png)
    step(${PROBE} ${build}/map.png)
endforeach()
# Its files went where the guide says: the home's .local/share/brisfold.
if(NOT IS_DIRECTORY ${WORK_DIR}/home/.local/share/brisfold/Documents)
    message(FATAL_ERROR "the kit kept no files in ${WORK_DIR}/home/.local/share/brisfold")
endif()

# Moved after it was built, the program still names the old place: it draws no pins and says so
# once, naming the folder and how to point it elsewhere; pointed at the new place it draws them.
set(resources share/brisfold/resources)
file(RENAME ${WORK_DIR}/prefix ${WORK_DIR}/moved)
execute_process(COMMAND ${out_of_reach} ${CMAKE_COMMAND} -E env ${run_env} ${program}
        ${WORK_DIR}/unfound.png
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REGEX MATCHALL "VAva\\.bundle in ([^\n]*)" said "${err}")
list(LENGTH said times)
set(expected "VAva.bundle in ${WORK_DIR}/prefix/${resources}, ")
string(FIND "${said}" "${expected}" at)
if(NOT status EQUAL 0 OR NOT times EQUAL 1 OR NOT at EQUAL 0
        OR NOT said MATCHES "BRISFOLD_RESOURCES_DIR")
    message(FATAL_ERROR "without its resources the program exited ${status}, saying once"
        " \"${expected}...BRISFOLD_RESOURCES_DIR...\" on stderr is expected:\n${out}\n${err}")
endif()
step(${out_of_reach} ${CMAKE_COMMAND} -E env ${run_env}
     BRISFOLD_RESOURCES_DIR=${WORK_DIR}/moved/${resources} ${program} ${WORK_DIR}/found.png)
step(${PROBE} ${WORK_DIR}/found.png)

file(REMOVE_RECURSE ${WORK_DIR})
