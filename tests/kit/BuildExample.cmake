# Installs the kit into a fresh prefix, configures and builds the example there as an outside
# program would, runs it, and checks the picture it writes.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/home)

function(step)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "failed (${status}): ${ARGN}")
    endif()
endfunction()

step(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix)
# A sanitizer build's libraries need the example built with the same sanitizers.
set(flags "")
if(SANITIZE)
    set(flags -DCMAKE_CXX_FLAGS=-fsanitize=${SANITIZE} -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=${SANITIZE})
endif()
step(${CMAKE_COMMAND} -S ${EXAMPLE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
     -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix -DCMAKE_CXX_COMPILER=${CXX}
     -DCMAKE_C_COMPILER=${C} -DCMAKE_BUILD_TYPE=Release ${flags})
step(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
# The kit keeps its caches in the home of the process: a fresh one, not the user's.
step(${CMAKE_COMMAND} -E env HOME=${WORK_DIR}/home
     ${WORK_DIR}/build/map-snapshot ${WORK_DIR}/map.png)

# A phone screen of 320 × 568 points at twice the scale: the PNG header's width and height.
file(READ ${WORK_DIR}/map.png header LIMIT 24 HEX)
string(SUBSTRING "${header}" 32 16 size)
if(NOT size STREQUAL "0000028000000470")
    message(FATAL_ERROR "map.png is not a 640 × 1136 picture: ${header}")
endif()

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
