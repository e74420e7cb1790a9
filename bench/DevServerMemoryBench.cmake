pkg_check_modules(DEVSERVER_BENCH_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
target_link_libraries(DevServerMemoryBench PRIVATE devserver_core brisfold_test_support
    PkgConfig::DEVSERVER_BENCH_HTTPLIB)
target_compile_definitions(DevServerMemoryBench PRIVATE
    BRISFOLD_DEVSERVER_EXE="$<TARGET_FILE:brisfold-devserver>")
add_dependencies(DevServerMemoryBench brisfold-devserver)
