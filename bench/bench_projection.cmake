pkg_check_modules(PROJ REQUIRED IMPORTED_TARGET proj)
target_link_libraries(bench_projection PRIVATE OverlaySystem PkgConfig::PROJ)
