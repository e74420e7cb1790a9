// Compiled into each program that links the kit, by the build that makes the program: the
// directory of the resources the program reads (NSBundle's main bundle). The source tree's build
// names its copy in the build tree, the installed kit's CMake package the installed bundle.
extern "C" const char* BrisfoldResourcesDirectory() { return BRISFOLD_RESOURCES_DIR; }
