# Installs the kit into a fresh prefix outside the checkout and builds the example there as an
# outside program would, as Debug and as Release with its own CMakeLists.txt and with no build type
# with the guide's (a program's build type need not be the kit's; under a sanitizer the last
# alone). Each build runs with the checkout out of its reach and the picture it writes is probed. Then the prefix is moved: the
# program built against it says once where it looked for its resources, and finds them where the
# environment says.
# Inputs: SOURCE_DIR, BUILD_DIR, README, GUIDE, EXAMPLE_DIR, GENERATOR, CXX, C, SANITIZE, PROBE.

cmake_minimum_required(VERSION 3.25)

# Runs a command, showing what it said only when it fails.
function(step)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}\n(the work is kept in ${WORK_DIR})")
    endif()
endfunction()

# The README shows the example's code between its marks, word for word.
file(READ ${EXAMPLE_DIR}/main.cpp source)
string(FIND "${source}" "// README: from here\n" from)
string(FIND "${source}" "\n// README: to here" to)
math(EXPR from "${from} + 21")
math(EXPR length "${to} - ${from}")
string(SUBSTRING "${source}" ${from} ${length} shown)
file(READ ${README} readme)
string(FIND "${readme}" "```cpp\n${shown}\n```" found)
if(found EQUAL -1)
    message(FATAL_ERROR "README.md does not show examples/map-snapshot/main.cpp as it is")
endif()

# The guide's CMakeLists.txt of a program, between its marks, word for word.
file(READ ${GUIDE} guide)
set(guide_from "<!-- a program's CMakeLists.txt: from here -->\n```cmake\n")
set(guide_to "```\n<!-- a program's CMakeLists.txt: to here -->")
string(FIND "${guide}" "${guide_from}" from)
string(FIND "${guide}" "${guide_to}" to)
if(from EQUAL -1 OR to EQUAL -1)
    message(FATAL_ERROR "${GUIDE} does not mark a program's CMakeLists.txt")
endif()
string(LENGTH "${guide_from}" mark)
math(EXPR from "${from} + ${mark}")
math(EXPR length "${to} - ${from}")
string(SUBSTRING "${guide}" ${from} ${length} guide_cmakelists)
if(NOT guide_cmakelists MATCHES "add_executable\\(([^ )]+) main.cpp\\)")
    message(FATAL_ERROR "the guide's CMakeLists.txt makes no program of main.cpp:\n${guide_cmakelists}")
endif()
set(guide_program ${CMAKE_MATCH_1})

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

# The prefix may be moved as a whole before programs are built against it: they all are built
# where it was moved to.
step(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/installed)
file(RENAME ${WORK_DIR}/installed ${WORK_DIR}/prefix)
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
file(WRITE ${WORK_DIR}/headers/CMakeLists.txt
    "cmake_minimum_required(VERSION 3.25)\nproject(EveryHeader CXX)\n"
    "find_package(BrisfoldKit REQUIRED)\n"
    "add_library(every OBJECT every.cpp)\n"
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
# The guide's program: its CMakeLists.txt around the example's code, configured as the guide says,
# with no build type.
file(MAKE_DIRECTORY ${WORK_DIR}/guide)
file(WRITE ${WORK_DIR}/guide/CMakeLists.txt "${guide_cmakelists}")
file(COPY_FILE ${EXAMPLE_DIR}/main.cpp ${WORK_DIR}/guide/main.cpp)
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
