pkg_check_modules(GLU REQUIRED IMPORTED_TARGET glu)
pkg_check_modules(POLYCLIPPING REQUIRED IMPORTED_TARGET polyclipping)
target_link_libraries(OverlayGeometryBench PRIVATE OverlaySystem PkgConfig::GLU
                      PkgConfig::POLYCLIPPING)
