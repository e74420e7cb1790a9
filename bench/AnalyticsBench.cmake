pkg_check_modules(ANALYTICS_BENCH_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
target_link_libraries(AnalyticsBench PRIVATE ServicesSystem devserver_core
    PkgConfig::ANALYTICS_BENCH_HTTPLIB)
