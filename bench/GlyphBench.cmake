find_package(Freetype REQUIRED)
target_link_libraries(GlyphBench PRIVATE Render Freetype::Freetype)
